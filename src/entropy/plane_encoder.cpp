#include "entropy/plane_encoder.hpp"

#include <algorithm>

#include "entropy/arans.hpp"
#include "entropy/encoder_loops.hpp"
#include "entropy/plane_model.hpp"

namespace tessarine::arans {

using namespace encoder_loops;

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
std::uint16_t* PlaneEncoder<P>::records(std::size_t buffer) const {
  return static_cast<std::uint16_t*>(records_.data()) + buffer * P * kSymbolBits * plan_.block;
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
  }
  block.out = records(buffer);
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
  for (BackwardCoder& c : coders) c = {nullptr, kStateLowerBound};
  for (std::size_t j = plan_.count; j-- > 0;) {
    const std::size_t decisions = kSymbolBits * plan_.length(j);
    std::uint16_t* const block = records(j % plan_.kept);
    // Each plane's words go over its own lane of the block's records, from the end.
    for (std::size_t p = 0; p < P; ++p) coders[p] = {block + P * decisions + p, coders[p].x};
    // Block j - 1 needs modelling again unless the first pass left its records. Its buffer
    // then holds a block already coded.
    if (j >= 1 && j - 1 + plan_.kept < plan_.count) {
      restore_models(j - 1);
      BlockModels<P> previous = block_models(j - 1, (j - 1) % plan_.kept);
      code_while_modelling<P>(coders, block, plan_.length(j), previous.states, input_.data(),
                              plan_.start(j - 1), plan_.length(j - 1), previous.out);
    } else {
      code_block<P>(coders, block, plan_.length(j));
    }
    for (std::size_t p = 0; p < P; ++p) {
      const auto count = static_cast<std::size_t>(block + P * decisions + p - coders[p].word) / P;
      words_[p].prepend(coders[p].word, count, P);
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
