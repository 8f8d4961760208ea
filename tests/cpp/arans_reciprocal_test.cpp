#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "entropy/coding_step.hpp"
#include "entropy/frequency_reciprocal.hpp"

namespace tessarine::arans {
namespace {

// x values where a reciprocal that is off by one shows: around multiples of freq, at the
// renormalisation bounds and at the top of the 32-bit range.
std::vector<std::uint32_t> edge_values(std::uint32_t freq, std::mt19937& rng) {
  std::vector<std::uint32_t> xs = {0,      1,       freq - 1, freq,       freq + 1,
                                   0xFFFF, 0x10000, 1u << 20, UINT32_MAX, UINT32_MAX - 1};
  const std::uint64_t limit = std::uint64_t{freq} << 20;
  for (std::uint64_t around : {limit, std::uint64_t{UINT32_MAX} / freq * freq,
                               std::uint64_t{0x10000} / freq * freq + freq}) {
    for (std::uint64_t x = around - 2; x <= around + 2; ++x) {
      if (x <= UINT32_MAX) xs.push_back(static_cast<std::uint32_t>(x));
    }
  }
  std::uniform_int_distribution<std::uint32_t> any;
  for (int i = 0; i < 64; ++i) {
    const std::uint32_t x = any(rng);
    xs.push_back(x);
    xs.push_back(x / freq * freq + freq - 1);  // the largest x with the same quotient
  }
  return xs;
}

TEST(FrequencyReciprocal, DividesExactlyForEveryFrequency) {
  std::mt19937 rng(51);
  for (std::uint32_t freq = 2; freq < kProbabilityScale; ++freq) {
    for (std::uint32_t x : edge_values(freq, rng)) {
      ASSERT_EQ(divide_by_frequency(x, freq), x / freq) << "x=" << x << " freq=" << freq;
    }
  }
}

TEST(FrequencyReciprocal, EncoderStepMatchesTheDivisionFormula) {
  // Every decision record, including frequency 1 (p = 1 with bit 0, p = 4095 with bit 1), over
  // the states the encoder can hold when it codes: [2^16, freq << 20).
  std::mt19937 rng(52);
  for (std::uint32_t p = 1; p < kProbabilityScale; ++p) {
    for (std::uint32_t bit : {0u, 1u}) {
      const std::uint32_t freq = bit ? kProbabilityScale - p : p;
      const std::uint32_t start = bit ? p : 0;
      const CodingStep& step = kCodingSteps[decision_record(p, bit)];
      const std::uint64_t limit = std::uint64_t{freq} << 20;
      ASSERT_EQ(step.limit, limit);
      std::uniform_int_distribution<std::uint32_t> state(0x10000, limit - 1);
      std::vector<std::uint32_t> xs = {0x10000, 0x10001, static_cast<std::uint32_t>(limit - 1)};
      for (int i = 0; i < 16; ++i) xs.push_back(state(rng));
      for (std::uint32_t x : xs) {
        const std::uint64_t expected = std::uint64_t{x / freq} * 4096 + x % freq + start;
        ASSERT_EQ(next_encoder_state(x, step), expected)
            << "x=" << x << " p=" << p << " bit=" << bit;
      }
    }
  }
}

TEST(RecordOffset, ReachesTheRecordsStepAndAdaptation) {
  for (std::uint32_t p = 1; p < kProbabilityScale; ++p) {
    for (std::uint32_t bit : {0u, 1u}) {
      const std::uint32_t offset = record_offset(p, 2 * bit);
      ASSERT_LE(offset, UINT16_MAX);  // the encoder stores it in 16 bits
      ASSERT_EQ(&coding_step_at(offset), &kCodingSteps[decision_record(p, bit)]);
      ASSERT_EQ(adapted_probability_at(offset), adapted_probability(p, bit)) << p << " " << bit;
    }
  }
}

}  // namespace
}  // namespace tessarine::arans
