#pragma once

// The encoder's step x = (x / freq) * 4096 + x % freq + start without a hardware divide.
// A divide sits on the serial chain of every coded decision; a multiply by a precomputed
// reciprocal is several times shorter.

#include <array>
#include <cstdint>

#include "entropy/plane_model.hpp"

namespace tessarine::arans {

// kFrequencyReciprocals[f] = ceil(2^64 / f) for f >= 2; then high64(x * m) == x / f for
// every 32-bit x, because m * f - 2^64 <= f - 1 and x * (f - 1) < 2^64. For f = 1 the
// entry is 2^64 - 1, which gives x - 1 for x >= 1; next_encoder_state adds the missing 1.
[[nodiscard]] consteval std::array<std::uint64_t, kProbabilityScale> make_frequency_reciprocals() {
  std::array<std::uint64_t, kProbabilityScale> table{};
  table[0] = 0;  // no decision has frequency 0
  table[1] = UINT64_MAX;
  for (std::uint64_t f = 2; f < kProbabilityScale; ++f) table[f] = UINT64_MAX / f + 1;
  return table;
}

inline constexpr std::array<std::uint64_t, kProbabilityScale> kFrequencyReciprocals =
    make_frequency_reciprocals();

// x / f for f in [2, 4095] and any 32-bit x.
[[nodiscard]] inline std::uint32_t divide_by_frequency(std::uint32_t x, std::uint32_t f) {
  return static_cast<std::uint32_t>((__uint128_t{x} * kFrequencyReciprocals[f]) >> 64);
}

// x = (x / freq) * 4096 + x % freq + start = x + start + (x / freq) * (4096 - freq), for
// x >= 1 and freq in [1, 4095]. With freq = 1 the quotient comes out one short, and the
// bias of 4095 = (4096 - 1) * 1 puts it back.
[[nodiscard]] inline std::uint32_t next_encoder_state(std::uint32_t x, std::uint32_t freq,
                                                      std::uint32_t start) {
  const std::uint32_t quotient = divide_by_frequency(x, freq);
  const std::uint32_t bias = start + (kProbabilityMask & (0u - (freq == 1 ? 1u : 0u)));
  return x + bias + quotient * (kProbabilityScale - freq);
}

}  // namespace tessarine::arans
