#pragma once

#include <nanobind/nanobind.h>

#include <string>

#include "codec/error.hpp"

namespace tessarine::tools {

// nanobind turns these into the Python exceptions of the same names at the binding's edge.
[[noreturn]] inline void raise_value_error(const std::string& text) {
  throw nanobind::value_error(text.c_str());
}

[[noreturn]] inline void raise_type_error(const std::string& text) {
  throw nanobind::type_error(text.c_str());
}

// Codec failures reach Python as ValueError with the codec's display text, as in `tessarine`.
[[noreturn]] inline void raise_codec_error(const TessarineError& error) {
  raise_value_error(error.display());
}

}  // namespace tessarine::tools
