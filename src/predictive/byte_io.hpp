#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "predictive/error.hpp"
#include "predictive/sample_type.hpp"

namespace tessarine::predictive {

// Every multi-byte field of the stream is little-endian.
inline void put_le(std::vector<std::uint8_t>& out, std::uint64_t value, unsigned width) {
  for (unsigned i = 0; i < width; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

inline void patch_le(std::vector<std::uint8_t>& out, std::size_t at, std::uint64_t value,
                     unsigned width) {
  for (unsigned i = 0; i < width; ++i) out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline std::uint64_t get_le(const std::uint8_t* bytes, unsigned width) {
  std::uint64_t value = 0;
  for (unsigned i = 0; i < width; ++i) value |= std::uint64_t{bytes[i]} << (8 * i);
  return value;
}

// Reads fields front to back; a read past the end is an error naming the field, never a read.
class ByteReader {
 public:
  explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  [[nodiscard]] PredictiveResult<std::uint64_t> read(unsigned width, const char* what) {
    if (bytes_.size() - at_ < width) return std::unexpected(PredictiveError::damaged(what));
    const std::uint64_t value = get_le(bytes_.data() + at_, width);
    at_ += width;
    return value;
  }

  [[nodiscard]] PredictiveResult<std::span<const std::uint8_t>> take(std::size_t size,
                                                                     const char* what) {
    if (bytes_.size() - at_ < size) return std::unexpected(PredictiveError::damaged(what));
    const auto part = bytes_.subspan(at_, size);
    at_ += size;
    return part;
  }

  [[nodiscard]] bool at_end() const { return at_ == bytes_.size(); }
  [[nodiscard]] std::size_t position() const { return at_; }
  [[nodiscard]] std::size_t remaining() const { return bytes_.size() - at_; }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t at_ = 0;
};

// Sample `i` of a view. Computed from the start each time: stepping a pointer by a negative
// stride would leave the samples' memory after the last one.
inline const std::byte* sample_at(const SampleView& view, std::size_t i) {
  return view.data + static_cast<std::ptrdiff_t>(i) * view.stride;
}

// The raw bits of sample `i` of a view, in the low bytes (x86-64 is little-endian).
inline std::uint64_t raw_bits(const SampleView& view, std::size_t i) {
  std::uint64_t raw = 0;
  std::memcpy(&raw, sample_at(view, i), view.type.size);
  return raw;
}

}  // namespace tessarine::predictive
