#include <new>
#include <stdexcept>

#include "entropy/arans.hpp"
#include "entropy/plane_model.hpp"

namespace tessarine::arans {
namespace {

[[nodiscard]] std::uint32_t load_u32_le(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}

}  // namespace

AransResult<std::vector<std::uint8_t>> decode_plane(std::span<const std::uint8_t> coded,
                                                    std::size_t count, unsigned context_bits) {
  std::vector<std::uint8_t> out;
  if (count == 0) return out;
  if (coded.size() < 4) return std::unexpected(AransError::truncated());
  try {
    out.reserve(count);
  } catch (const std::bad_alloc&) {
    return std::unexpected(AransError::invalid_length());
  } catch (const std::length_error&) {
    return std::unexpected(AransError::invalid_length());
  }
  std::vector<std::uint16_t> table(model_entries(context_bits), kInitialProbability);
  std::uint32_t x = load_u32_le(coded.data());
  std::size_t position = 4;
  std::uint32_t previous = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t base = context_base(previous, context_bits);
    std::uint32_t node = 1;
    for (unsigned d = 0; d < kSymbolBits; ++d) {
      std::uint16_t& p = table[base | node];
      const std::uint32_t r = x & kProbabilityMask;
      const std::uint32_t bit = r >= p ? 1 : 0;
      x = bit == 0 ? p * (x >> kProbabilityBits) + r
                   : (kProbabilityScale - p) * (x >> kProbabilityBits) + r - p;
      while (x < kStateLowerBound) {
        if (coded.size() - position < 2) return std::unexpected(AransError::truncated());
        x = (x << kWordBits) | std::uint32_t{coded[position]} |
            std::uint32_t{coded[position + 1]} << 8;
        position += 2;
      }
      p = adapted_probability(p, bit);
      node = 2 * node + bit;
    }
    const auto symbol = static_cast<std::uint8_t>(node);
    out.push_back(symbol);
    previous = symbol;
  }
  return out;
}

}  // namespace tessarine::arans
