#include "entropy/plane_encoder.hpp"

#include <algorithm>
#include <vector>

#include "entropy/arans.hpp"

namespace tessarine::arans {
namespace {

// Model order: symbols forwards, bits most significant first. A record is the probability
// of a 0 bit before adaptation, with the coded bit above it: p | bit << 12.
void record_decisions(const std::uint8_t* symbols, std::size_t count, std::size_t stride,
                      unsigned context_bits, std::uint16_t* records) {
  std::vector<std::uint16_t> table(model_entries(context_bits), kInitialProbability);
  std::uint16_t* const model = table.data();
  const unsigned context_shift = kSymbolBits - context_bits;
  std::uint32_t previous = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t symbol = symbols[i * stride];
    std::uint16_t* const context = model + ((previous >> context_shift) << kSymbolBits);
    std::uint32_t node = 1;
#pragma GCC unroll 8
    for (int shift = kSymbolBits - 1; shift >= 0; --shift) {
      const std::uint32_t bit = (symbol >> shift) & 1u;
      const std::uint32_t p = context[node];
      records[i * kSymbolBits + (kSymbolBits - 1 - shift)] =
          static_cast<std::uint16_t>(p | bit << kProbabilityBits);
      context[node] = static_cast<std::uint16_t>(fast_adapted_probability(p, bit));
      node = 2 * node + bit;
    }
    previous = symbol;
  }
}

}  // namespace

PlaneEncoder::PlaneEncoder(const std::uint8_t* symbols, std::size_t count, std::size_t stride,
                           unsigned context_bits)
    : slots_(std::make_unique_for_overwrite<std::uint16_t[]>(kRecordOffset +
                                                              count * kSymbolBits)),
      decisions_(count * kSymbolBits),
      next_word_(kRecordOffset + count * kSymbolBits) {
  record_decisions(symbols, count, stride, std::min(context_bits, kMaxContextBits),
                   slots_.get() + kRecordOffset);
}

void PlaneEncoder::finish() {
  slots_[--next_word_] = to_little_endian(static_cast<std::uint16_t>(x_ >> kWordBits));
  slots_[--next_word_] = to_little_endian(static_cast<std::uint16_t>(x_));
}

std::span<const std::uint8_t> PlaneEncoder::coded() const {
  const auto* first = reinterpret_cast<const std::uint8_t*>(slots_.get() + next_word_);
  return {first, (kRecordOffset + decisions_ - next_word_) * sizeof(std::uint16_t)};
}

std::vector<std::uint8_t> encode_plane(std::span<const std::uint8_t> symbols,
                                       unsigned context_bits) {
  if (symbols.empty()) return {};
  PlaneEncoder encoder(symbols.data(), symbols.size(), 1, context_bits);
  for (std::size_t i = encoder.decision_count(); i-- > 0;) encoder.code_decision(i);
  encoder.finish();
  const std::span<const std::uint8_t> coded = encoder.coded();
  return {coded.begin(), coded.end()};
}

}  // namespace tessarine::arans
