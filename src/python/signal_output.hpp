#pragma once

#include <Python.h>

#include <vector>

namespace tessarine::python {

// A new 1-D float32 array over the decoded samples, without copying them: a capsule that owns
// the samples becomes the array's base and frees them when the array goes. Null with the
// exception set on failure, and then the samples are freed. NumPy's C API must be loaded.
[[nodiscard]] PyObject* float32_array_taking(std::vector<float>&& samples);

}  // namespace tessarine::python
