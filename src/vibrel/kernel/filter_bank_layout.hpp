#pragma once

#include <array>
#include <cstddef>
#include <span>

#include "vibrel/kernel/sample.hpp"

namespace vibrel {

// How an executor record arranges its N taps for the registers of its kernels: each copy of
// the taps is zero-padded to `padded` lanes, and `copies` copies sit back to back, so one
// register holds one or more whole windows. Zero lanes contribute nothing.
struct TapLayout {
  std::size_t padded;
  std::size_t copies;

  [[nodiscard]] constexpr std::size_t stored() const { return padded * copies; }
};

[[nodiscard]] consteval TapLayout scalar_tap_layout(std::size_t taps) {
  return {taps, 1};
}

// 4-lane registers: a window of up to 4 taps per register, longer ones over 2 or 3 registers.
[[nodiscard]] consteval TapLayout sse_tap_layout(std::size_t taps) {
  if (taps <= 2) return {2, 2};
  if (taps <= 4) return {4, 1};
  return {(taps + 3) / 4 * 4, 1};
}

// 8-lane registers: short filters repeat to fill one register, long ones pad to 8 or 16.
[[nodiscard]] consteval TapLayout avx_tap_layout(std::size_t taps) {
  if (taps <= 2) return {2, 4};
  if (taps <= 4) return {4, 2};
  if (taps <= 8) return {8, 1};
  return {16, 1};
}

// The layout for registers of `lanes` lanes; 0 lanes is the scalar path.
[[nodiscard]] consteval TapLayout tap_layout_for_lanes(std::size_t lanes, std::size_t taps) {
  if (lanes == 8) return avx_tap_layout(taps);
  if (lanes == 4) return sse_tap_layout(taps);
  return scalar_tap_layout(taps);
}

// The taps as a record stores them under `layout`. A source shorter than N leaves the missing
// taps zero; a longer one is cut to N.
template <std::size_t N, TapLayout kLayout>
[[nodiscard]] std::array<f32, kLayout.stored()> arrange_taps(std::span<const f32> taps) {
  std::array<f32, kLayout.stored()> arranged{};
  const std::size_t count = taps.size() < N ? taps.size() : N;
  for (std::size_t copy = 0; copy < kLayout.copies; ++copy) {
    for (std::size_t k = 0; k < count; ++k) arranged[copy * kLayout.padded + k] = taps[k];
  }
  return arranged;
}

}  // namespace vibrel
