// Read this first: rANS is last-in, first-out. The encoder models the decisions forwards
// (the order the decoder will see them), then codes them backwards, so the decoder can run
// forwards through the bytes.

#include <algorithm>

#include "entropy/arans.hpp"
#include "entropy/plane_model.hpp"

namespace tessarine::arans {
namespace {

struct Interval {
  std::uint32_t frequency;
  std::uint32_t start;
};

std::vector<Interval> model_decisions(std::span<const std::uint8_t> symbols,
                                      unsigned context_bits) {
  std::vector<std::uint16_t> table(model_entries(context_bits), kInitialProbability);
  std::vector<Interval> intervals;
  intervals.reserve(symbols.size() * kSymbolBits);
  std::uint32_t previous = 0;
  for (const std::uint8_t symbol : symbols) {
    const std::uint32_t base = context_base(previous, context_bits);
    std::uint32_t node = 1;
    for (int shift = kSymbolBits - 1; shift >= 0; --shift) {
      const std::uint32_t bit = (symbol >> shift) & 1u;
      std::uint16_t& p = table[base | node];
      intervals.push_back(bit == 0 ? Interval{p, 0} : Interval{kProbabilityScale - p, p});
      p = adapted_probability(p, bit);
      node = 2 * node + bit;
    }
    previous = symbol;
  }
  return intervals;
}

}  // namespace

std::vector<std::uint8_t> encode_plane(std::span<const std::uint8_t> symbols,
                                       unsigned context_bits) {
  std::vector<std::uint8_t> out;
  if (symbols.empty()) return out;
  const std::vector<Interval> intervals = model_decisions(symbols, context_bits);
  std::uint32_t x = kStateLowerBound;
  for (auto it = intervals.rbegin(); it != intervals.rend(); ++it) {
    // x < frequency << 20 keeps the coded state below 2^32.
    while (x >= (it->frequency << (32 - kProbabilityBits))) {
      out.push_back(static_cast<std::uint8_t>(x >> 8));
      out.push_back(static_cast<std::uint8_t>(x));
      x >>= kWordBits;
    }
    // x = (x / freq) * 4096 + x % freq + start
    x = (x / it->frequency) * kProbabilityScale + x % it->frequency + it->start;
  }
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(x >> shift));
  std::reverse(out.begin(), out.end());
  return out;
}

}  // namespace tessarine::arans
