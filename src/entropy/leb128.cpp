#include "entropy/leb128.hpp"

#include "entropy/arans.hpp"

namespace tessarine::arans {

void append_leb128(std::vector<std::uint8_t>& out, std::uint64_t value) {
  while (value >= 0x80) {
    out.push_back(static_cast<std::uint8_t>(value | 0x80));
    value >>= 7;
  }
  out.push_back(static_cast<std::uint8_t>(value));
}

AransResult<std::uint64_t> rv(std::span<const std::uint8_t> bytes, std::size_t& position) {
  // Nine full 7-bit groups carry bits 0 to 62; a tenth byte can only add bit 63.
  constexpr unsigned kFullGroups = 9;
  std::uint64_t value = 0;
  for (unsigned group = 0; group < kFullGroups; ++group) {
    if (position >= bytes.size()) return std::unexpected(AransError::truncated());
    const std::uint8_t byte = bytes[position++];
    value |= std::uint64_t{byte & 0x7Fu} << (7 * group);
    if ((byte & 0x80) == 0) return value;
  }
  if (position >= bytes.size()) return std::unexpected(AransError::truncated());
  const std::uint8_t last = bytes[position++];
  if ((last & 0x80) != 0) return std::unexpected(AransError::invalid_length());
  return value | (std::uint64_t{last & 1u} << 63);
}

}  // namespace tessarine::arans
