#pragma once

#include <cstddef>
#include <cstdint>

namespace tessarine::predictive {

// The caller's sample type: NumPy's kind letter ('f', 'i', 'u') and item size in bytes.
// Floats are 2, 4 or 8 bytes wide (IEEE half, single, double); integers 1, 2, 4 or 8.
struct SampleType {
  char kind = 'f';
  std::uint8_t size = 4;

  [[nodiscard]] bool is_float() const { return kind == 'f'; }
  [[nodiscard]] bool is_valid() const {
    if (kind == 'f') return size == 2 || size == 4 || size == 8;
    return (kind == 'i' || kind == 'u') && (size == 1 || size == 2 || size == 4 || size == 8);
  }
  friend bool operator==(const SampleType&, const SampleType&) = default;
};

// Borrowed samples of one type in native byte order, any stride (in bytes; may be zero or
// negative). The owner keeps them alive and unchanged for the call.
struct SampleView {
  const std::byte* data = nullptr;
  std::size_t count = 0;
  std::ptrdiff_t stride = 0;
  SampleType type{};
};

}  // namespace tessarine::predictive
