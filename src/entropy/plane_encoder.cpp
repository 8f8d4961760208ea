#include "entropy/plane_encoder.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

#include "entropy/arans.hpp"
#include "entropy/coding_step.hpp"
#include "entropy/emit_word.hpp"
#include "entropy/plane_model.hpp"

namespace tessarine::arans {
namespace {

// The state of one plane's backward coding pass. Plain data, so that the coding loop can keep
// a copy in registers.
struct BackwardCoder {
  const std::uint16_t* records;  // the block being coded
  std::uint16_t* words;          // where its words go, downwards
  std::size_t next_word;  // slot of the last word written
  std::uint32_t x;
};

[[nodiscard]] std::uint16_t to_little_endian(std::uint16_t word) {
  if constexpr (std::endian::native == std::endian::big) return std::byteswap(word);
  return word;
}

// Records the eight decisions of `symbol` in model order, most significant bit first, and
// adapts the model after each.
template <bool Record = true>
[[gnu::always_inline]] inline void record_symbol(ModelState& m, std::uint32_t symbol,
                                                 std::uint16_t* records) {
  std::uint16_t* const context = m.model + ((m.previous >> m.context_shift) << kSymbolBits);
  std::uint32_t node = 1;
#pragma GCC unroll 8
  for (unsigned d = 0; d < kSymbolBits; ++d) {
    const std::uint32_t bit = (symbol >> (kSymbolBits - 1 - d)) & 1u;
    const std::uint32_t record = decision_record(context[node], bit);
    if constexpr (Record) records[d] = static_cast<std::uint16_t>(record);
    context[node] = kAdaptedProbability[record];
    node = 2 * node + bit;
  }
  m.previous = symbol;
}

// One symbol being modelled, decision by decision.
struct SymbolModelling {
  std::uint16_t* context;
  std::uint16_t* records;
  std::uint32_t symbol;
  std::uint32_t node;
};

[[gnu::always_inline]] inline SymbolModelling start_symbol(ModelState& m, std::uint32_t symbol,
                                                           std::uint16_t* records) {
  std::uint16_t* const context = m.model + ((m.previous >> m.context_shift) << kSymbolBits);
  m.previous = symbol;
  return {context, records, symbol, 1};
}

// Decision d (0 the most significant bit) of the symbol: records it and adapts the model.
[[gnu::always_inline]] inline void model_decision(SymbolModelling& s, unsigned d) {
  const std::uint32_t bit = (s.symbol >> (kSymbolBits - 1 - d)) & 1u;
  const std::uint32_t record = decision_record(s.context[s.node], bit);
  s.records[d] = static_cast<std::uint16_t>(record);
  s.context[s.node] = kAdaptedProbability[record];
  s.node = 2 * s.node + bit;
}

// Codes decision i of the coder's block; decisions are coded from the last to the first.
[[gnu::always_inline]] inline void code_decision(BackwardCoder& c, std::size_t i) {
  const CodingStep& step = kCodingSteps[c.records[i]];
  // The word is stored whether or not it is emitted; next_word only moves past it when it
  // is. Emitting first keeps the next state below 2^32: x < freq << 20 gives x / freq < 2^20.
  c.words[c.next_word - 1] = to_little_endian(static_cast<std::uint16_t>(c.x));
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

}  // namespace

template <std::size_t P>
PlaneEncoder<P>::PlaneEncoder(std::span<const std::uint8_t> input, unsigned context_bits,
                              BlockLimits limits)
    : input_(input),
      context_shift_(kSymbolBits - std::min(context_bits, kMaxContextBits)),
      entries_(model_entries(std::min(context_bits, kMaxContextBits))),
      plan_(plan_blocks(input.size() / P, P, entries_, limits)),
      models_(P * entries_),
      // Blocks 1 to count - kept - 1 are modelled again from a saved model; block 0 starts
      // afresh and the last `kept` keep their records from the first pass.
      saved_(plan_.count > plan_.kept + 1 ? (plan_.count - plan_.kept - 1) * P * entries_ : 0),
      records_(plan_.kept * P * kSymbolBits * plan_.block * sizeof(std::uint16_t)) {}

template <std::size_t P>
std::uint16_t* PlaneEncoder<P>::records(std::size_t buffer, std::size_t p) const {
  return static_cast<std::uint16_t*>(records_.data()) +
         (buffer * P + p) * kSymbolBits * plan_.block;
}

template <std::size_t P>
std::uint16_t* PlaneEncoder<P>::saved_models(std::size_t j) {
  return saved_.data() + (j - 1) * P * entries_;
}

template <std::size_t P>
void PlaneEncoder<P>::restore_models(std::size_t j) {
  if (j == 0) {
    std::fill(models_.begin(), models_.end(), kInitialProbability);
  } else {
    std::copy_n(saved_models(j), P * entries_, models_.data());
  }
}

template <std::size_t P>
BlockModels<P> PlaneEncoder<P>::block_models(std::size_t j, std::size_t buffer) {
  BlockModels<P> block;
  const std::size_t start = plan_.start(j);
  for (std::size_t p = 0; p < P; ++p) {
    const std::uint32_t previous = start == 0 ? 0 : input_[P * (start - 1) + p];
    block.states[p] = {models_.data() + p * entries_, context_shift_, previous};
    block.out[p] = records(buffer, p);
  }
  return block;
}

template <std::size_t P>
void PlaneEncoder<P>::encode() {
  if (plan_.count == 0) return;
  restore_models(0);
  for (std::size_t j = 0; j < plan_.count; ++j) {
    const bool recorded = j + plan_.kept >= plan_.count;
    if (j >= 1 && !recorded) std::copy_n(models_.data(), P * entries_, saved_models(j));
    BlockModels<P> block = block_models(j, j % plan_.kept);
    // Only the last `kept` blocks are coded from these records; the rest are modelled again.
    if (recorded) {
      model_symbols<P>(block.states, input_.data(), plan_.start(j), plan_.length(j), block.out);
    } else {
      model_symbols<P, false>(block.states, input_.data(), plan_.start(j), plan_.length(j),
                              block.out);
    }
  }
  code_blocks();
}

template <std::size_t P>
void PlaneEncoder<P>::code_blocks() {
  std::array<BackwardCoder, P> coders;
  for (BackwardCoder& c : coders) c = {nullptr, nullptr, 0, kStateLowerBound};
  for (std::size_t j = plan_.count; j-- > 0;) {
    const std::size_t decisions = kSymbolBits * plan_.length(j);
    // Each block's words go over its own records, written downwards from the end: a word
    // only ever lands on a record already coded (at most one word per decision).
    for (std::size_t p = 0; p < P; ++p) {
      std::uint16_t* const buffer = records(j % plan_.kept, p);
      coders[p] = {buffer, buffer, decisions, coders[p].x};
    }
    // Block j - 1 needs modelling again unless the first pass left its records. Its buffer
    // then holds a block already coded.
    if (j >= 1 && j - 1 + plan_.kept < plan_.count) {
      restore_models(j - 1);
      BlockModels<P> previous = block_models(j - 1, (j - 1) % plan_.kept);
      code_while_modelling<P>(coders, plan_.length(j), previous.states, input_.data(),
                              plan_.start(j - 1), plan_.length(j - 1), previous.out);
    } else {
      code_block<P>(coders, plan_.length(j));
    }
    for (std::size_t p = 0; p < P; ++p) {
      words_[p].prepend({coders[p].words + coders[p].next_word, decisions - coders[p].next_word});
    }
  }
  for (std::size_t p = 0; p < P; ++p) coded_[p] = words_[p].finish(coders[p].x);
}

template class PlaneEncoder<1>;
template class PlaneEncoder<2>;

std::vector<std::uint8_t> encode_plane(std::span<const std::uint8_t> symbols,
                                       unsigned context_bits) {
  if (symbols.empty()) return {};
  PlaneEncoder<1> encoder(symbols, context_bits);
  encoder.encode();
  const std::span<const std::uint8_t> coded = encoder.coded(0);
  return {coded.begin(), coded.end()};
}

}  // namespace tessarine::arans
