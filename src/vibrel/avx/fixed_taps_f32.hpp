#pragma once

#include <cstddef>

#include "vibrel/kernel/border_mode.hpp"
#include "vibrel/dwt.hpp"
#include "vibrel/kernel/filter_bank_layout.hpp"

namespace vibrel::avx {

// AVX2/FMA kernels of the fixed-length filter banks (N = 2 .. 16). Call only when
// has_avx_tier(). Same contract as ScalarFixedTapsKernel. The forward multiplies and adds
// separately (its results equal the scalar ones); the inverse fuses.
template <std::size_t N>
struct FixedTapsKernel {
  static constexpr std::size_t kTaps = N;
  static constexpr TapLayout kLayout = avx_tap_layout(N);

  static void forward(const f32* input, std::size_t n, const f32* low, const f32* high,
                      BorderMode mode, f32* approximations, f32* details);
  static void inverse(const f32* approximations, const f32* details, std::size_t m, const f32* low,
                      const f32* high, f32* output);
};

}  // namespace vibrel::avx
