// Placeholder coder: LEB128 varints. To be replaced by the table-driven rANS coder.
#include "predictive/code_coder.hpp"

namespace tessarine::predictive {

PredictiveResult<void> encode_codes(std::span<const std::uint64_t> codes,
                                    std::vector<std::uint8_t>& out) {
  for (std::uint64_t v : codes) {
    while (v >= 0x80) {
      out.push_back(static_cast<std::uint8_t>(v | 0x80));
      v >>= 7;
    }
    out.push_back(static_cast<std::uint8_t>(v));
  }
  return {};
}

PredictiveResult<std::size_t> decode_codes(std::span<const std::uint8_t> bytes,
                                           std::span<std::uint64_t> codes) {
  std::size_t at = 0;
  for (auto& code : codes) {
    std::uint64_t v = 0;
    for (unsigned shift = 0;; shift += 7) {
      if (at >= bytes.size() || shift > 63) return std::unexpected(PredictiveError::damaged("codes are cut short"));
      const std::uint8_t b = bytes[at++];
      v |= std::uint64_t{b & 0x7Fu} << shift;
      if (!(b & 0x80)) break;
    }
    code = v;
  }
  return at;
}

}  // namespace tessarine::predictive
