#pragma once

// Everything the backward coding pass needs about one recorded decision, looked up by the
// record itself (2 * p + bit, p the probability of a 0 bit): the coding loop then does no
// arithmetic on the model at all.

#include <array>
#include <cstdint>

#include "entropy/frequency_reciprocal.hpp"
#include "entropy/plane_model.hpp"

namespace tessarine::arans {

struct CodingStep {
  std::uint64_t reciprocal;  // frequency_reciprocal(freq)
  std::uint32_t limit;       // freq << 20: a state at or above it emits a word first
  std::uint16_t complement;  // 4096 - freq
  std::uint16_t bias;        // start, plus 4095 when freq is 1 (see next_encoder_state)
};

[[nodiscard]] constexpr std::uint32_t decision_record(std::uint32_t p, std::uint32_t bit) {
  return 2 * p + bit;
}

// bit 0 has frequency p and start 0; bit 1 has frequency 4096 - p and start p.
[[nodiscard]] constexpr CodingStep make_coding_step(std::uint32_t record) {
  const std::uint32_t p = record >> 1;
  if (p == 0) return {};  // p is never 0
  const bool one = (record & 1) != 0;
  const std::uint32_t freq = one ? kProbabilityScale - p : p;
  const std::uint32_t start = one ? p : 0;
  return {frequency_reciprocal(freq), freq << (32 - kProbabilityBits),
          static_cast<std::uint16_t>(kProbabilityScale - freq),
          static_cast<std::uint16_t>(start + (freq == 1 ? kProbabilityMask : 0))};
}

[[nodiscard]] consteval std::array<CodingStep, 2 * kProbabilityScale> make_coding_steps() {
  std::array<CodingStep, 2 * kProbabilityScale> steps{};
  for (std::uint32_t record = 0; record < steps.size(); ++record) {
    steps[record] = make_coding_step(record);
  }
  return steps;
}

inline constexpr std::array<CodingStep, 2 * kProbabilityScale> kCodingSteps = make_coding_steps();

// What the encoder stores for a decision: 2 * decision_record(p, bit) = 4 * p + 2 * bit, the
// byte offset of its entry in kAdaptedProbability. Its CodingStep is then one scaled-index load
// away (16-byte entries at 8 times the offset), where the bare record needs a shift and an add
// first. The bit comes doubled, as the encoder extracts it.
[[nodiscard]] constexpr std::uint32_t record_offset(std::uint32_t p, std::uint32_t twice_bit) {
  return 4 * p + twice_bit;
}

static_assert(sizeof(CodingStep) == 16);

[[nodiscard]] inline const CodingStep& coding_step_at(std::uint32_t offset) {
  return *reinterpret_cast<const CodingStep*>(reinterpret_cast<const char*>(kCodingSteps.data()) +
                                              std::size_t{8} * offset);
}

[[nodiscard]] inline std::uint16_t adapted_probability_at(std::uint32_t offset) {
  return *reinterpret_cast<const std::uint16_t*>(
      reinterpret_cast<const char*>(kAdaptedProbability.data()) + offset);
}

// x = (x / freq) * 4096 + x % freq + start, rewritten as x + start + (x / freq) * (4096 - freq)
// for x >= 1. With freq = 1 the stand-in reciprocal yields x - 1 for the quotient, one short,
// and the bias's extra 4095 = (4096 - 1) * 1 puts it back.
[[nodiscard]] constexpr std::uint32_t next_encoder_state(std::uint32_t x, const CodingStep& step) {
  return x + step.bias + multiply_high(x, step.reciprocal) * step.complement;
}

}  // namespace tessarine::arans
