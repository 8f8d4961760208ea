#include "predictive/code_rice.hpp"

#include <algorithm>
#include <bit>

#include "predictive/code_bits.hpp"
#include "predictive/code_modes.hpp"

namespace tessarine::predictive {
namespace {

constexpr unsigned kEscapeQuotient = 16;
constexpr unsigned kWidthBits = 6;

std::uint64_t low_bits(std::uint64_t v, unsigned n) {
  return v & ((std::uint64_t{1} << n) - 1);  // n <= 63
}

std::uint64_t rice_bits(std::uint64_t v, unsigned k) {
  const std::uint64_t q = v >> k;
  if (q < kEscapeQuotient) return q + 1 + k;
  return kEscapeQuotient + kWidthBits + static_cast<unsigned>(std::bit_width(v)) - 1;
}

}  // namespace

std::size_t rice_chunk_size(std::span<const std::uint64_t> codes, unsigned k) {
  std::uint64_t bits = 0;
  for (std::uint64_t v : codes) bits += rice_bits(v, k);
  return 2 + static_cast<std::size_t>((bits + 7) / 8);
}

unsigned best_rice_parameter(std::span<const std::uint64_t> codes) {
  std::uint64_t sum = 0;
  for (std::uint64_t v : codes) sum += std::min(v, std::uint64_t{1} << 46);  // no overflow
  const unsigned centre = static_cast<unsigned>(std::bit_width(sum / std::max<std::size_t>(codes.size(), 1)));
  unsigned best = 0;
  std::size_t best_size = ~std::size_t{0};
  for (unsigned k = centre > 3 ? centre - 3 : 0; k <= std::min(centre + 1, 63u); ++k) {
    const std::size_t size = rice_chunk_size(codes, k);
    if (size < best_size) {
      best_size = size;
      best = k;
    }
  }
  return best;
}

void encode_rice_chunk(std::span<const std::uint64_t> codes, unsigned k,
                       std::vector<std::uint8_t>& out) {
  const std::size_t head = out.size();
  const std::size_t size = rice_chunk_size(codes, k);
  out.resize(head + size + 8);  // slack for the word-wide stores
  out[head] = kModeRice;
  out[head + 1] = static_cast<std::uint8_t>(k);
  BitWriter bits(out.data() + head + 2);
  for (std::uint64_t v : codes) {
    const std::uint64_t q = v >> k;
    if (q < kEscapeQuotient) {
      bits.put((std::uint64_t{1} << q) - 1, static_cast<unsigned>(q) + 1);
      bits.put(low_bits(v, k), k);
    } else {
      const unsigned top = static_cast<unsigned>(std::bit_width(v)) - 1;
      bits.put((std::uint64_t{1} << kEscapeQuotient) - 1, kEscapeQuotient);
      bits.put(top, kWidthBits);
      bits.put(low_bits(v, top), top);
    }
  }
  out.resize(head + 2 + bits.finish());
}

PredictiveResult<std::size_t> decode_rice_chunk(std::span<const std::uint8_t> bytes,
                                                std::span<std::uint64_t> codes) {
  if (bytes.size() < 2) return std::unexpected(PredictiveError::damaged("codes are cut short"));
  const unsigned k = bytes[1];
  if (k > 63) return std::unexpected(PredictiveError::damaged("code parameter is invalid"));
  BitReader bits(bytes.subspan(2));
  for (std::uint64_t& v : codes) {
    const auto ones = static_cast<unsigned>(std::countr_one(bits.peek(kEscapeQuotient + 1)));
    if (ones < kEscapeQuotient) {
      bits.skip(ones + 1);
      v = (std::uint64_t{ones} << k) | bits.get(k);
    } else {
      bits.skip(kEscapeQuotient);
      const auto top = static_cast<unsigned>(bits.get_small(kWidthBits));
      v = (std::uint64_t{1} << top) | bits.get(top);
    }
  }
  if (bits.overran()) return std::unexpected(PredictiveError::damaged("codes are cut short"));
  return 2 + bits.bytes_used();
}

}  // namespace tessarine::predictive
