#pragma once

#include <Python.h>

#include <optional>
#include <span>
#include <vector>

namespace tessarine::python {

// The samples of `data` for one compression: a 1-D native float32 array is read in place, a
// 1-D native float64 array is rounded into `storage`, which must outlive the returned span.
// nullopt with ValueError (wrong kind of object) or TypeError (not contiguous or misaligned)
// set otherwise. NumPy's C API must already be loaded.
[[nodiscard]] std::optional<std::span<const float>> signal_samples(PyObject* data,
                                                                   std::vector<float>& storage);

}  // namespace tessarine::python
