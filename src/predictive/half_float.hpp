#pragma once

#include <cstdint>

namespace tessarine::predictive {

// IEEE binary16 <-> binary64. Widening is exact; narrowing rounds to nearest, ties to even,
// overflows to infinity and keeps NaN payload bits that fit (quieting the NaN).
[[nodiscard]] double half_to_double(std::uint16_t half);
[[nodiscard]] std::uint16_t double_to_half(double value);

}  // namespace tessarine::predictive
