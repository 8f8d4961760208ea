#pragma once

#include <cstdint>

namespace tessarine::predictive {

// The first byte of a coded chunk says how the rest is coded.
inline constexpr std::uint8_t kModeConstant = 0;  // every code equal: one varint
inline constexpr std::uint8_t kModeRice = 1;      // short chunks: a parametric code
inline constexpr std::uint8_t kModeRans = 2;      // 2..7: rANS with 1..6 contexts
inline constexpr std::uint8_t kModeRansLast = 7;

}  // namespace tessarine::predictive
