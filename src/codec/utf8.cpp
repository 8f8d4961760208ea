#include "codec/utf8.hpp"

#include <cstddef>

namespace tessarine {
namespace {

bool is_continuation(std::uint8_t byte) {
  return (byte & 0xC0) == 0x80;
}

// Length of the sequence a lead byte opens, or 0 for a byte that cannot lead. C0, C1 and
// F5..FF only ever start overlong or out-of-range sequences.
std::size_t sequence_length(std::uint8_t lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

// The second byte's allowed range depends on the lead: it is what excludes overlong
// three- and four-byte forms, surrogates and code points above U+10FFFF.
bool second_byte_allowed(std::uint8_t lead, std::uint8_t second) {
  switch (lead) {
    case 0xE0:
      return second >= 0xA0 && second <= 0xBF;
    case 0xED:
      return second >= 0x80 && second <= 0x9F;
    case 0xF0:
      return second >= 0x90 && second <= 0xBF;
    case 0xF4:
      return second >= 0x80 && second <= 0x8F;
    default:
      return is_continuation(second);
  }
}

}  // namespace

bool is_valid_utf8(std::span<const std::uint8_t> bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const std::size_t length = sequence_length(bytes[i]);
    if (length == 0 || length > bytes.size() - i) return false;
    if (length > 1 && !second_byte_allowed(bytes[i], bytes[i + 1])) return false;
    for (std::size_t k = 2; k < length; ++k) {
      if (!is_continuation(bytes[i + k])) return false;
    }
    i += length;
  }
  return true;
}

}  // namespace tessarine
