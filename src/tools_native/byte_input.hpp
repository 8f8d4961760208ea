#pragma once

#include <nanobind/nanobind.h>

#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace tessarine::tools {

namespace nb = nanobind;

// The bytes of any bytes-like object (bytes, bytearray, memoryview, read-only or not), safe to
// read with the lock released. Immutable `bytes` are pinned and read in place. Any other buffer
// is copied first, under the lock: its owner (another thread, another process through shared
// memory) could change it while the codec reads, and a decision taken on one reading (a
// header's sample count) must hold for every later one.
class PinnedBytes {
 public:
  explicit PinnedBytes(nb::handle data) {
    if (PyObject_GetBuffer(data.ptr(), &view_, PyBUF_SIMPLE) != 0) throw nb::python_error();
    if (PyBytes_CheckExact(data.ptr())) return;
    try {
      const auto* start = static_cast<const std::uint8_t*>(view_.buf);
      copy_.assign(start, start + view_.len);
    } catch (...) {
      PyBuffer_Release(&view_);
      throw;
    }
    copied_ = true;
  }
  PinnedBytes(const PinnedBytes&) = delete;
  PinnedBytes& operator=(const PinnedBytes&) = delete;
  ~PinnedBytes() { PyBuffer_Release(&view_); }

  [[nodiscard]] std::span<const std::uint8_t> bytes() const {
    if (copied_) return copy_;
    return {static_cast<const std::uint8_t*>(view_.buf), static_cast<std::size_t>(view_.len)};
  }

 private:
  Py_buffer view_{};
  std::vector<std::uint8_t> copy_;
  bool copied_ = false;
};

}  // namespace tessarine::tools
