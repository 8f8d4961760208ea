#pragma once

#include <nanobind/nanobind.h>
#include <nanobind/ndarray.h>

#include <vector>

namespace tessarine::tools {

namespace nb = nanobind;

using FloatArray = nb::ndarray<nb::numpy, float, nb::ndim<1>>;
using OutputArray = nb::ndarray<float, nb::ndim<1>, nb::c_contig, nb::device::cpu>;

// A new float32 NumPy array that takes over `samples` without copying them; a capsule owning
// the vector is the array's base.
[[nodiscard]] nb::object float32_array_taking(std::vector<float>&& samples);

}  // namespace tessarine::tools
