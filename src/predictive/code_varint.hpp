#pragma once

// LEB128 varints: seven bits a byte, least significant group first, high bit set on every byte
// but the last.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tessarine::predictive {

inline void put_varint(std::uint64_t value, std::vector<std::uint8_t>& out) {
  while (value >= 0x80) {
    out.push_back(static_cast<std::uint8_t>(value | 0x80));
    value >>= 7;
  }
  out.push_back(static_cast<std::uint8_t>(value));
}

// Reads a varint of at most `max_bytes` bytes at `at`, advancing it; empty when the bytes end
// first, the varint is longer, or its value does not fit 64 bits.
[[nodiscard]] inline std::optional<std::uint64_t> get_varint(std::span<const std::uint8_t> bytes,
                                                             std::size_t& at, unsigned max_bytes) {
  std::uint64_t value = 0;
  for (unsigned i = 0; i < max_bytes && at < bytes.size(); ++i) {
    const std::uint8_t byte = bytes[at++];
    const unsigned shift = 7 * i;
    if (shift == 63 && byte > 1) return std::nullopt;
    value |= std::uint64_t{byte & 0x7Fu} << shift;
    if (!(byte & 0x80)) return value;
  }
  return std::nullopt;
}

}  // namespace tessarine::predictive
