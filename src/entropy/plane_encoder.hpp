#pragma once

// Read this first: rANS is last-in, first-out. The encoder models the decisions forwards, in
// the order the decoder will meet them, and records each one; then it codes the records
// backwards, so that the decoder can run forwards through the bytes.
//
// One array of 16-bit slots serves both passes. Slots [2, 2 + D) hold the D records; the
// backward pass writes each emitted word just below the previous one, starting at the end.
// At most one word is emitted per decision, so when record i is coded at most D - 1 - i words
// exist and the next word lands at slot i + 2 or above: never on a record not yet coded. The
// final state goes into the two slots below the first word. Read as bytes on a little-endian
// host (words are swapped on a big-endian one), the slots from the state on are the coded
// plane.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "entropy/frequency_reciprocal.hpp"
#include "entropy/plane_model.hpp"

namespace tessarine::arans {

class PlaneEncoder {
 public:
  // Runs the modelling pass over `count` symbols read at `symbols[i * stride]`. Throws
  // std::bad_alloc when the slots cannot be allocated.
  PlaneEncoder(const std::uint8_t* symbols, std::size_t count, std::size_t stride,
               unsigned context_bits);

  [[nodiscard]] std::size_t decision_count() const { return decisions_; }

  // The backward pass: call for i = decision_count() - 1 down to 0, then finish().
  void code_decision(std::size_t i) {
    const std::uint32_t record = slots_[kRecordOffset + i];
    const std::uint32_t p = record & kProbabilityMask;
    const std::uint32_t bit = record >> kProbabilityBits;
    const std::uint32_t freq = select_by_mask(bit_mask(bit), kProbabilityScale - p, p);
    const std::uint32_t start = p & bit_mask(bit);
    // Emitting keeps the next state below 2^32: x < freq << 20 gives x / freq < 2^20.
    const std::uint32_t emit = x_ >= (freq << (32 - kProbabilityBits)) ? 1 : 0;
    slots_[next_word_ - 1] = to_little_endian(static_cast<std::uint16_t>(x_));
    next_word_ -= emit;
    x_ = select_by_mask(bit_mask(emit), x_ >> kWordBits, x_);
    x_ = next_encoder_state(x_, freq, start);
  }

  void finish();

  // The coded plane; valid after finish() for as long as the encoder lives.
  [[nodiscard]] std::span<const std::uint8_t> coded() const;

 private:
  static constexpr std::size_t kRecordOffset = 2;  // room for the 32-bit state

  [[nodiscard]] static std::uint16_t to_little_endian(std::uint16_t word) {
    if constexpr (std::endian::native == std::endian::big) return std::byteswap(word);
    return word;
  }

  std::unique_ptr<std::uint16_t[]> slots_;
  std::size_t decisions_;
  std::size_t next_word_;  // slot of the last word written; the end when none is
  std::uint32_t x_ = kStateLowerBound;
};

}  // namespace tessarine::arans
