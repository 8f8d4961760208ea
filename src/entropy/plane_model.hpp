#pragma once

// The adaptive binary model shared by the plane encoder and decoder. Both sides must update
// it identically, decision by decision, or the decoder drifts.

#include <array>
#include <cstddef>
#include <cstdint>

namespace tessarine::arans {

// Probabilities of a 0 bit are in units of 1/4096 (12 bits) and stay in [1, 4095], so
// neither bit ever has frequency 0.
inline constexpr unsigned kProbabilityBits = 12;
inline constexpr std::uint32_t kProbabilityScale = 1u << kProbabilityBits;
inline constexpr std::uint32_t kProbabilityMask = kProbabilityScale - 1;
inline constexpr std::uint16_t kInitialProbability = kProbabilityScale / 2;
inline constexpr unsigned kAdaptationShift = 4;

// rANS state bounds: a normalised state lies in [2^16, 2^32) and renormalisation moves one
// 16-bit word at a time.
inline constexpr std::uint32_t kStateLowerBound = 1u << 16;
inline constexpr unsigned kWordBits = 16;

inline constexpr unsigned kMaxContextBits = 8;
inline constexpr unsigned kSymbolBits = 8;

// One table entry per (context, tree node); node 0 of every context is unused.
[[nodiscard]] constexpr std::size_t model_entries(unsigned context_bits) {
  return std::size_t{256} << context_bits;
}

// p moves 1/16 of the way towards the observed bit, then is clamped into [1, 4095]. (From
// the initial 2048 the step rounds to zero first: p never leaves [15, 4081].)
[[nodiscard]] constexpr std::uint16_t adapted_probability(std::uint32_t p, std::uint32_t bit) {
  std::uint32_t next =
      bit == 0 ? p + ((kProbabilityScale - p) >> kAdaptationShift) : p - (p >> kAdaptationShift);
  if (next == 0) next = 1;
  if (next > kProbabilityMask) next = kProbabilityMask;
  return static_cast<std::uint16_t>(next);
}

// The adaptation as one lookup: kAdaptedProbability[2 * p + bit] == adapted_probability(p, bit).
// 16 KiB; the index is the encoder's decision record and a single lea in the decoder.
[[nodiscard]] consteval std::array<std::uint16_t, 2 * kProbabilityScale> make_adaptation_table() {
  std::array<std::uint16_t, 2 * kProbabilityScale> table{};
  for (std::uint32_t p = 0; p < kProbabilityScale; ++p) {
    table[2 * p] = adapted_probability(p, 0);
    table[2 * p + 1] = adapted_probability(p, 1);
  }
  return table;
}

inline constexpr std::array<std::uint16_t, 2 * kProbabilityScale> kAdaptedProbability =
    make_adaptation_table();

}  // namespace tessarine::arans
