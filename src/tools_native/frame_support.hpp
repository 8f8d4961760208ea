#pragma once

#include <nanobind/nanobind.h>

#include <cmath>
#include <cstddef>
#include <span>
#include <string>

#include "frame/frame_decode.hpp"
#include "predictive/error.hpp"
#include "predictive/sample_type.hpp"
#include "tools_native/raise.hpp"
#include "tools_native/signal_input.hpp"

namespace tessarine::tools {

namespace nb = nanobind;

// Memory failures become MemoryError; everything else ValueError with the frame layer's text.
[[noreturn]] inline void raise_frame_error(const predictive::PredictiveError& error,
                                           const std::string& text) {
  if (error.kind() == predictive::PredictiveError::Kind::OutOfMemory) {
    PyErr_NoMemory();
    throw nb::python_error();
  }
  raise_value_error(text);
}

[[noreturn]] inline void raise_frame_error(const predictive::PredictiveError& error) {
  raise_frame_error(error, error.display());
}

[[noreturn]] inline void raise_frame_error(const frame::DecodeFailure& failure) {
  raise_frame_error(failure.error, failure.display());
}

inline predictive::SampleView view_of(const SignalInput& input) {
  using nb::dlpack::dtype_code;
  const auto code = static_cast<dtype_code>(input.dtype.code);
  const char kind = code == dtype_code::Float ? 'f' : code == dtype_code::Int ? 'i' : 'u';
  const predictive::SampleType type{kind, static_cast<std::uint8_t>(input.dtype.bits / 8)};
  return {static_cast<const std::byte*>(input.data), input.length,
          static_cast<std::ptrdiff_t>(input.stride * type.size), type};
}

// An optional bound from Python: None is "not given".
inline double bound_value(nb::handle value) {
  return value.is_none() ? NAN : nb::cast<double>(value);
}

// "f4", "i2": the dtype string NumPy reads back.
inline std::string dtype_name(predictive::SampleType type) {
  return std::string(1, type.kind) + std::to_string(type.size);
}

// The sample type a dtype name ("f4", "i2") names; ValueError for any other.
inline predictive::SampleType type_named(const std::string& name) {
  const predictive::SampleType type{name.empty() ? '?' : name[0],
                                    static_cast<std::uint8_t>(name.size() == 2 ? name[1] - '0' : 0)};
  if (!type.is_valid()) raise_value_error("unsupported dtype " + name);
  return type;
}

// A writable C-contiguous buffer, released on scope exit.
class WritableBuffer {
 public:
  explicit WritableBuffer(nb::handle out) {
    if (PyObject_GetBuffer(out.ptr(), &view_, PyBUF_WRITABLE | PyBUF_C_CONTIGUOUS) != 0) {
      throw nb::python_error();
    }
  }
  WritableBuffer(const WritableBuffer&) = delete;
  WritableBuffer& operator=(const WritableBuffer&) = delete;
  ~WritableBuffer() { PyBuffer_Release(&view_); }
  [[nodiscard]] std::span<std::byte> bytes() const {
    return {static_cast<std::byte*>(view_.buf), static_cast<std::size_t>(view_.len)};
  }

 private:
  Py_buffer view_{};
};

}  // namespace tessarine::tools
