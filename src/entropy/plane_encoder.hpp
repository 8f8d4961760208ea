#pragma once

// Read this first: rANS is last-in, first-out. The encoder models the decisions forwards, in
// the order the decoder will meet them, and records each one; then it codes the records
// backwards, so that the decoder can run forwards through the bytes.
//
// One array of 16-bit slots serves both passes. Slots [2, 2 + D) hold the D records
// (decision_record: 2 * p + bit); the backward pass writes each emitted word just below the
// previous one, starting at the end. At most one word is emitted per decision, so when record
// i is coded at most D - 1 - i words exist and the next word lands at slot i + 2 or above:
// never on a record not yet coded. The final state goes into the two slots below the first
// word. Read as bytes on a little-endian host (words are swapped on a big-endian one), the
// slots from the state on are the coded plane, with no reversal and no second buffer.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>

#include "entropy/coding_step.hpp"
#include "entropy/emit_word.hpp"
#include "entropy/plane_model.hpp"
#include "memory/scratch_pages.hpp"

namespace tessarine::arans {

// The state of a backward coding pass. Plain data, so that the coding loop can keep a copy
// in registers.
struct BackwardCoder {
  std::uint16_t* slots;
  std::size_t next_word;  // slot of the last word written; the end when none is
  std::uint32_t x;
};

inline constexpr std::size_t kRecordOffset = 2;  // room for the 32-bit state

[[nodiscard]] inline std::uint16_t to_little_endian(std::uint16_t word) {
  if constexpr (std::endian::native == std::endian::big) return std::byteswap(word);
  return word;
}

// Codes decision i; decisions are coded from the last to the first.
[[gnu::always_inline]] inline void code_decision(BackwardCoder& c, std::size_t i) {
  const CodingStep& step = kCodingSteps[c.slots[kRecordOffset + i]];
  // The word is stored whether or not it is emitted; next_word only moves past it when it
  // is. Emitting first keeps the next state below 2^32: x < freq << 20 gives x / freq < 2^20.
  c.slots[c.next_word - 1] = to_little_endian(static_cast<std::uint16_t>(c.x));
  emit_word_if_at_least(c.x, step.limit, c.next_word);
  c.x = next_encoder_state(c.x, step);
}

class PlaneEncoder {
 public:
  // Room for the decisions of `symbol_count` symbols. Throws std::bad_alloc when the slots
  // cannot be allocated.
  explicit PlaneEncoder(std::size_t symbol_count);

  // The modelling pass: one plane, or two interleaved planes (symbols at even and at odd
  // offsets of `pairs`, whose length is twice the planes' length) in one loop. Call once.
  friend void model_plane(std::span<const std::uint8_t> symbols, unsigned context_bits,
                          PlaneEncoder& plane);
  friend void model_planes(std::span<const std::uint8_t> pairs, unsigned context_bits,
                           PlaneEncoder& even, PlaneEncoder& odd);

  // The coding pass, for one plane or for two of the same length in one loop (their serial
  // state chains then overlap). Call once, after modelling.
  friend void code_backward(PlaneEncoder& plane);
  friend void code_backward(PlaneEncoder& first, PlaneEncoder& second);

  // The coded plane, after the coding pass, valid for as long as the encoder lives.
  [[nodiscard]] std::span<const std::uint8_t> coded() const;

 private:
  [[nodiscard]] std::uint16_t* records() { return slots_ + kRecordOffset; }
  void finish(BackwardCoder coder);

  ScratchPages pages_;
  std::uint16_t* slots_;  // in pages_
  std::size_t decisions_;
  std::size_t first_slot_ = 0;  // where the coded plane starts, once coded
};

void model_plane(std::span<const std::uint8_t> symbols, unsigned context_bits, PlaneEncoder& plane);
void model_planes(std::span<const std::uint8_t> pairs, unsigned context_bits, PlaneEncoder& even,
                  PlaneEncoder& odd);
void code_backward(PlaneEncoder& plane);
void code_backward(PlaneEncoder& first, PlaneEncoder& second);

}  // namespace tessarine::arans
