#pragma once

// The inner loops of the plane encoder (plane_encoder.hpp): modelling, backward coding, and
// both in one body. Everything is inlined into the encoder's block loops.
//
// A block's records interleave its P planes: the record of decision i of plane p is at
// records[P * i + p]. So one pointer serves every plane, in the coding loop and in the
// modelling loop alike, which leaves the fused loop enough registers for its two state chains
// and two models. Plane p's words overwrite its own lane (slots P * k + p) downwards from the
// end of the block; a word never lands on a record not yet coded (at most one word per
// decision) nor in another plane's lane.

#include <array>
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
  std::uint16_t* word;  // the plane's slot of the last word written, in its lane
  std::uint32_t x;
};

// One symbol being modelled, decision by decision. `path` is the symbol with a leading 1:
// its top d + 1 bits are the tree node of decision d, so that node and bit each take a shift.
struct SymbolModelling {
  std::uint16_t* context;
  std::uint16_t* records;  // the plane's record of the symbol's first decision
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
template <std::size_t P, bool Record = true>
[[gnu::always_inline]] inline void model_decision(SymbolModelling& s, unsigned d) {
  const std::uint32_t node = s.path >> (kSymbolBits - d);
  const std::uint32_t twice_bit = ((s.path << 1) >> (kSymbolBits - 1 - d)) & 2u;
  const std::uint32_t offset = record_offset(s.context[node], twice_bit);
  if constexpr (Record) s.records[P * d] = static_cast<std::uint16_t>(offset);
  s.context[node] = adapted_probability_at(offset);
}

// Models symbol t from `start` of every plane, its records going to `records`, the block's.
template <std::size_t P, bool Record = true>
[[gnu::always_inline]] inline void model_symbol(std::array<ModelState, P>& models,
                                                const std::uint8_t* input, std::size_t start,
                                                std::size_t t, std::uint16_t* records) {
  std::array<SymbolModelling, P> m;
#pragma GCC unroll 2
  for (std::size_t p = 0; p < P; ++p) {
    m[p] = start_symbol(models[p], input[P * (start + t) + p], records + P * kSymbolBits * t + p);
  }
#pragma GCC unroll 8
  for (unsigned d = 0; d < kSymbolBits; ++d) {
#pragma GCC unroll 2
    for (std::size_t p = 0; p < P; ++p) model_decision<P, Record>(m[p], d);
  }
}

// Codes one decision from its record; decisions are coded from the last to the first.
template <std::size_t P>
[[gnu::always_inline]] inline void code_decision(BackwardCoder& c, std::uint32_t record) {
  const CodingStep& step = coding_step_at(record);
  // Emitting first keeps the next state below 2^32: x < freq << 20 gives x / freq < 2^20.
  emit_word_if_at_least<P>(c.x, step.limit, c.word);
  c.x = next_encoder_state(c.x, step);
}

// Codes decision d (0 the most significant bit) of one symbol of every plane, from the
// symbol's records.
template <std::size_t P>
[[gnu::always_inline]] inline void code_decisions(std::array<BackwardCoder, P>& coders,
                                                  const std::uint16_t* records, unsigned d) {
#pragma GCC unroll 2
  for (std::size_t p = 0; p < P; ++p) code_decision<P>(coders[p], records[P * d + p]);
}

// Models `length` symbols from `start` of every plane into `records`, or without recording.
template <std::size_t P, bool Record = true>
void model_symbols(std::array<ModelState, P>& models, const std::uint8_t* input, std::size_t start,
                   std::size_t length, std::uint16_t* records) {
  std::array<ModelState, P> m = models;  // locals: record stores must not force them to memory
  for (std::size_t t = 0; t < length; ++t) model_symbol<P, Record>(m, input, start, t, records);
  models = m;
}

// Codes the `coded` symbols of the block whose records are `records`.
template <std::size_t P>
void code_block(std::array<BackwardCoder, P>& coders, const std::uint16_t* records,
                std::size_t coded) {
  std::array<BackwardCoder, P> c = coders;  // locals: stores must not force states to memory
  for (std::size_t s = coded; s-- > 0;) {
    const std::uint16_t* const symbol = records + P * kSymbolBits * s;
#pragma GCC unroll 8
    for (unsigned d = kSymbolBits; d > 0; --d) code_decisions<P>(c, symbol, d - 1);
  }
  coders = c;
}

// Codes the `coded` symbols of the block whose records are `records` while modelling
// `modelled` symbols from `start` into `out` (modelled <= coded): the two loops share one body
// so that the model updates run in the shadow of the state chains.
template <std::size_t P>
void code_while_modelling(std::array<BackwardCoder, P>& coders, const std::uint16_t* records,
                          std::size_t coded, std::array<ModelState, P>& models,
                          const std::uint8_t* input, std::size_t start, std::size_t modelled,
                          std::uint16_t* out) {
  std::array<BackwardCoder, P> c = coders;  // locals: stores must not force states to memory
  std::array<ModelState, P> states = models;
  for (std::size_t t = 0; t < modelled; ++t) {
    std::array<SymbolModelling, P> m;
#pragma GCC unroll 2
    for (std::size_t p = 0; p < P; ++p) {
      m[p] = start_symbol(states[p], input[P * (start + t) + p], out + P * kSymbolBits * t + p);
    }
    const std::uint16_t* const symbol = records + P * kSymbolBits * (coded - 1 - t);
    // Decision by decision, so that each model step sits beside a coding step.
#pragma GCC unroll 8
    for (unsigned d = 0; d < kSymbolBits; ++d) {
#pragma GCC unroll 2
      for (std::size_t p = 0; p < P; ++p) model_decision<P>(m[p], d);
      code_decisions<P>(c, symbol, kSymbolBits - 1 - d);
    }
  }
  coders = c;
  models = states;
  code_block<P>(coders, records, coded - modelled);
}

}  // namespace tessarine::arans::encoder_loops
