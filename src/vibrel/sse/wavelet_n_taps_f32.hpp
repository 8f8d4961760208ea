#pragma once

#include <cstddef>

#include "vibrel/dwt.hpp"

namespace vibrel::sse {

// SSE4.2 kernels of the generic filter bank; same contract as ScalarNTapsKernel. Call only
// when has_sse_tier(). Separate multiply and add.
struct NTapsKernel {
  static void forward(const f32* arena, std::size_t readable, std::size_t m, const f32* low,
                      const f32* high, std::size_t taps, f32* approximations, f32* details);
  static void inverse(const f32* approximations, const f32* details, std::size_t m, const f32* low,
                      const f32* high, std::size_t taps, f32* output, std::size_t output_length);
};

}  // namespace vibrel::sse
