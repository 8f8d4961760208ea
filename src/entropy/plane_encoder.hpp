#pragma once

// Read this first: rANS is last-in, first-out. The encoder models the decisions forwards, in
// the order the decoder will meet them, and records each one (record_offset: 2 * (2 * p + bit));
// then it codes the records backwards, so that the decoder can run forwards through the bytes.
//
// Records cost 16 bytes per symbol and plane, so long planes are cut into blocks
// (block_plan.hpp). A first forward pass models every block, saving the model at the start of
// each block it will not keep records of, and recording the last `kept` blocks. The backward
// pass then codes the blocks last first; while it codes block j it models block j - 1 again,
// when needed, from its saved model into a buffer already coded. Both loops share one body, so
// the modelling fills execution slots the state chains leave idle.
//
// Planes are coded P at a time, interleaved (symbol i of plane p is input[P * i + p], and a
// block's records interleave the planes the same way): their model chains and their state
// chains overlap.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "entropy/block_plan.hpp"
#include "entropy/word_stack.hpp"
#include "memory/scratch_pages.hpp"

namespace tessarine::arans {

// One plane's model while it is being trained. `previous` is the symbol modelled last.
struct ModelState {
  std::uint16_t* model;
  unsigned context_shift;
  std::uint32_t previous;
};

// The models of P planes positioned at a block start, and where its records go.
template <std::size_t P>
struct BlockModels {
  std::array<ModelState, P> states;
  std::uint16_t* out;
};

template <std::size_t P>
class PlaneEncoder {
 public:
  // `input` holds P * n bytes for n symbols per plane. Throws std::bad_alloc when the working
  // memory cannot be had. The limits change how the work is cut, never the coded bytes.
  PlaneEncoder(std::span<const std::uint8_t> input, unsigned context_bits, BlockLimits limits = {});

  // Codes every plane; call once. Throws std::bad_alloc as the constructor does.
  void encode();

  // Plane p's coded bytes, after encode(), valid for as long as the encoder lives.
  [[nodiscard]] std::span<const std::uint8_t> coded(std::size_t p) const { return coded_[p]; }
  [[nodiscard]] const BlockPlan& plan() const { return plan_; }

 private:
  [[nodiscard]] std::uint16_t* records(std::size_t buffer) const;
  // The models as they stood at the start of block j (1 to count - 3).
  [[nodiscard]] std::uint16_t* saved_models(std::size_t j);
  void restore_models(std::size_t j);
  [[nodiscard]] BlockModels<P> block_models(std::size_t j, std::size_t buffer);
  void code_blocks();

  std::span<const std::uint8_t> input_;
  unsigned context_shift_;
  std::size_t entries_;
  BlockPlan plan_;
  std::vector<std::uint16_t> models_;  // P live models
  std::vector<std::uint16_t> saved_;   // P models per block start that is re-modelled
  ScratchPages records_;               // `kept` buffers of one block's records, planes interleaved
  std::array<WordStack, P> words_;
  std::array<std::span<const std::uint8_t>, P> coded_{};
};

extern template class PlaneEncoder<1>;
extern template class PlaneEncoder<2>;

}  // namespace tessarine::arans
