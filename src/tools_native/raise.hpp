#pragma once

#include <nanobind/nanobind.h>

#include <string>

#include "codec/error.hpp"

namespace tessarine::tools {

// Sets ValueError from the whole text (it may hold NUL bytes copied from a damaged header)
// and lets nanobind pass it on. Bytes that are not UTF-8 become U+FFFD, as in `tessarine`.
[[noreturn]] inline void raise_value_error(const std::string& text) {
  PyObject* message =
      PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
  if (message != nullptr) {
    PyErr_SetObject(PyExc_ValueError, message);
    Py_DECREF(message);
  }
  throw nanobind::python_error();
}

// nanobind turns this into a TypeError at the binding's edge; our texts hold no NUL bytes.
[[noreturn]] inline void raise_type_error(const std::string& text) {
  throw nanobind::type_error(text.c_str());
}

// Codec failures reach Python as ValueError with the codec's display text, as in `tessarine`.
[[noreturn]] inline void raise_codec_error(const TessarineError& error) {
  raise_value_error(error.display());
}

}  // namespace tessarine::tools
