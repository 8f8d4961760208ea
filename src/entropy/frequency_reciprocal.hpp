#pragma once

// Division by a decision's frequency without a hardware divide. A divide sits on the serial
// chain of every coded decision; a multiply by a precomputed reciprocal is several times
// shorter.

#include <cstdint>

namespace tessarine::arans {

// ceil(2^64 / freq) for freq >= 2. Then high64(x * m) == x / freq for every 32-bit x:
// with m * freq = 2^64 + e, 0 <= e <= freq - 1, x * m / 2^64 = x / freq + x * e / (freq * 2^64),
// and the excess stays below 1 / freq because x * e < 2^32 * 2^12 < 2^64.
// freq = 1 has no 64-bit reciprocal; 2^64 - 1 stands in and gives x - 1 for x >= 1.
[[nodiscard]] constexpr std::uint64_t frequency_reciprocal(std::uint32_t freq) {
  return freq <= 1 ? UINT64_MAX : UINT64_MAX / freq + 1;
}

[[nodiscard]] constexpr std::uint32_t multiply_high(std::uint32_t x, std::uint64_t reciprocal) {
  return static_cast<std::uint32_t>((static_cast<__uint128_t>(x) * reciprocal) >> 64);
}

// x / freq for freq in [2, 4095] and any 32-bit x.
[[nodiscard]] constexpr std::uint32_t divide_by_frequency(std::uint32_t x, std::uint32_t freq) {
  return multiply_high(x, frequency_reciprocal(freq));
}

}  // namespace tessarine::arans
