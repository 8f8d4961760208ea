#pragma once

#include <nanobind/nanobind.h>

#include <cstdint>
#include <span>

namespace tessarine::tools {

namespace nb = nanobind;

// Holds a contiguous buffer of any bytes-like object (bytes, bytearray, memoryview, read-only
// or not) for its lifetime, so the bytes can be read with the lock released.
class PinnedBytes {
 public:
  explicit PinnedBytes(nb::handle data) {
    if (PyObject_GetBuffer(data.ptr(), &view_, PyBUF_SIMPLE) != 0) throw nb::python_error();
  }
  PinnedBytes(const PinnedBytes&) = delete;
  PinnedBytes& operator=(const PinnedBytes&) = delete;
  ~PinnedBytes() { PyBuffer_Release(&view_); }

  [[nodiscard]] std::span<const std::uint8_t> bytes() const {
    return {static_cast<const std::uint8_t*>(view_.buf), static_cast<std::size_t>(view_.len)};
  }

 private:
  Py_buffer view_{};
};

}  // namespace tessarine::tools
