#pragma once

#include <cstddef>

#include "vibrel/kernel/border_mode.hpp"
#include "vibrel/dwt.hpp"
#include "vibrel/kernel/filter_bank_layout.hpp"

namespace vibrel {

// Portable kernels of the fixed-length filter banks (N = 2, 4, 6, 8, 10, 12, 16). They trust
// their arguments: the executor has checked every size. `low` and `high` are the record's
// taps in kLayout.
template <std::size_t N>
struct ScalarFixedTapsKernel {
  static constexpr std::size_t kTaps = N;
  static constexpr TapLayout kLayout = scalar_tap_layout(N);

  // n >= N input samples; approximations and details hold (n + N - 1) / 2 samples each.
  static void forward(const f32* input, std::size_t n, const f32* low, const f32* high,
                      BorderMode mode, f32* approximations, f32* details);
  // Adds the synthesis of m coefficient pairs into output[0 .. 2m - N + 1].
  static void inverse(const f32* approximations, const f32* details, std::size_t m, const f32* low,
                      const f32* high, f32* output);
};

}  // namespace vibrel
