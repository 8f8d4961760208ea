#pragma once

// The inner loops of the plane encoder (plane_encoder.hpp): modelling, backward coding, and
// both in one body. Everything is inlined into the encoder's block loops.

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "entropy/coding_step.hpp"
#include "entropy/emit_word.hpp"
#include "entropy/plane_encoder.hpp"
#include "entropy/plane_model.hpp"

namespace tessarine::arans::encoder_loops {


// The state of one plane's backward coding pass. Plain data, so that the coding loop can keep
// a copy in registers.
struct BackwardCoder {
  std::uint16_t* slots;   // the block's records, which its words overwrite from the end
  std::size_t next_word;  // slot of the last word written
  std::uint32_t x;
};

[[nodiscard]] inline std::uint16_t to_little_endian(std::uint16_t word) {
  if constexpr (std::endian::native == std::endian::big) return std::byteswap(word);
  return word;
}

// One symbol being modelled, decision by decision. `path` is the symbol with a leading 1:
// its top d + 1 bits are the tree node of decision d, so that node and bit each take a shift.
struct SymbolModelling {
  std::uint16_t* context;
  std::uint16_t* records;
  std::uint32_t path;
};

[[gnu::always_inline]] inline SymbolModelling start_symbol(ModelState& m, std::uint32_t symbol,
                                                           std::uint16_t* records) {
  std::uint16_t* context = m.model + ((m.previous >> m.context_shift) << kSymbolBits);
  // An opaque pointer: GCC otherwise adds the context's offset to every node's index again.
  asm("" : "+r"(context));
  m.previous = symbol;
  return {context, records, symbol | (1u << kSymbolBits)};
}

// Decision d (0 the most significant bit) of the symbol: records it, unless told not to, and
// adapts the model.
template <bool Record = true>
[[gnu::always_inline]] inline void model_decision(SymbolModelling& s, unsigned d) {
  const std::uint32_t node = s.path >> (kSymbolBits - d);
  const std::uint32_t bit = (s.path >> (kSymbolBits - 1 - d)) & 1u;
  const std::uint32_t record = decision_record(s.context[node], bit);
  if constexpr (Record) s.records[d] = static_cast<std::uint16_t>(record);
  s.context[node] = kAdaptedProbability[record];
}

// The eight decisions of `symbol` in model order, most significant bit first.
template <bool Record = true>
[[gnu::always_inline]] inline void record_symbol(ModelState& m, std::uint32_t symbol,
                                                 std::uint16_t* records) {
  SymbolModelling s = start_symbol(m, symbol, records);
#pragma GCC unroll 8
  for (unsigned d = 0; d < kSymbolBits; ++d) model_decision<Record>(s, d);
}

// Codes decision i of the coder's block; decisions are coded from the last to the first.
[[gnu::always_inline]] inline void code_decision(BackwardCoder& c, std::size_t i) {
  const CodingStep& step = kCodingSteps[c.slots[i]];
  // The word is stored whether or not it is emitted; next_word only moves past it when it
  // is. Emitting first keeps the next state below 2^32: x < freq << 20 gives x / freq < 2^20.
  c.slots[c.next_word - 1] = to_little_endian(static_cast<std::uint16_t>(c.x));
  emit_word_if_at_least(c.x, step.limit, c.next_word);
  c.x = next_encoder_state(c.x, step);
}

// Codes the eight decisions of symbol s of every plane's block, last decision first.
template <std::size_t P>
[[gnu::always_inline]] inline void code_symbol(std::array<BackwardCoder, P>& coders,
                                               std::size_t s) {
  const std::size_t first = kSymbolBits * s;
#pragma GCC unroll 8
  for (std::size_t d = kSymbolBits; d > 0; --d) {
#pragma GCC unroll 2
    for (std::size_t p = 0; p < P; ++p) code_decision(coders[p], first + d - 1);
  }
}

// Models `length` symbols from `start` of every plane into `out`, or without recording.
template <std::size_t P, bool Record = true>
[[gnu::always_inline]] inline void model_symbols(std::array<ModelState, P>& models,
                                                 const std::uint8_t* input, std::size_t start,
                                                 std::size_t length,
                                                 const std::array<std::uint16_t*, P>& out) {
  for (std::size_t t = 0; t < length; ++t) {
#pragma GCC unroll 2
    for (std::size_t p = 0; p < P; ++p) {
      record_symbol<Record>(models[p], input[P * (start + t) + p], out[p] + kSymbolBits * t);
    }
  }
}

// Codes the `coded` symbols of the coders' blocks.
template <std::size_t P>
void code_block(std::array<BackwardCoder, P>& coders, std::size_t coded) {
  std::array<BackwardCoder, P> c = coders;  // locals: stores must not force states to memory
  for (std::size_t s = coded; s-- > 0;) code_symbol<P>(c, s);
  coders = c;
}

// Codes the `coded` symbols of the coders' blocks while modelling `modelled` symbols from
// `start` into `out` (modelled <= coded): the two loops share one body so that the model
// updates run in the shadow of the state chains.
template <std::size_t P>
void code_while_modelling(std::array<BackwardCoder, P>& coders, std::size_t coded,
                          std::array<ModelState, P>& models, const std::uint8_t* input,
                          std::size_t start, std::size_t modelled,
                          const std::array<std::uint16_t*, P>& out) {
  std::array<BackwardCoder, P> c = coders;  // locals: stores must not force states to memory
  for (std::size_t t = 0; t < modelled; ++t) {
    std::array<SymbolModelling, P> m;
#pragma GCC unroll 2
    for (std::size_t p = 0; p < P; ++p) {
      m[p] = start_symbol(models[p], input[P * (start + t) + p], out[p] + kSymbolBits * t);
    }
    const std::size_t first = kSymbolBits * (coded - 1 - t);
    // Decision by decision, so that each model step sits beside a coding step.
#pragma GCC unroll 8
    for (unsigned d = 0; d < kSymbolBits; ++d) {
#pragma GCC unroll 2
      for (std::size_t p = 0; p < P; ++p) model_decision(m[p], d);
#pragma GCC unroll 2
      for (std::size_t p = 0; p < P; ++p) code_decision(c[p], first + kSymbolBits - 1 - d);
    }
  }
  for (std::size_t s = coded - modelled; s-- > 0;) code_symbol<P>(c, s);
  coders = c;
}

}  // namespace tessarine::arans::encoder_loops
