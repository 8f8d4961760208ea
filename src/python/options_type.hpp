#pragma once

#include <Python.h>

#include "codec/options.hpp"

namespace tessarine::python {

// Creates the class TessrCompressionOptions on the first call and returns it as a new
// reference; later calls (a re-executed module) return the same class, so options objects
// made before stay usable. Null with the exception set on failure.
[[nodiscard]] PyObject* options_type_reference() noexcept;

// "O&" converter for the `options` argument of compress_signal: None keeps the defaults
// already in `options` (a CompressionOptions), an instance gives its value, anything else
// raises TypeError.
int convert_options(PyObject* given, void* options) noexcept;

}  // namespace tessarine::python
