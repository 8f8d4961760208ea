#pragma once

#include <cstddef>

#include "vibrel/dwt.hpp"

namespace vibrel {

// Portable kernels of the generic filter bank, for any tap count >= 1. They trust their
// arguments: the executor has checked every size and written the arena.
struct ScalarNTapsKernel {
  // The window of output i is arena[2i .. 2i + taps - 1]; `readable` samples of arena exist.
  static void forward(const f32* arena, std::size_t readable, std::size_t m, const f32* low,
                      const f32* high, std::size_t taps, f32* approximations, f32* details);
  // Adds the synthesis of m coefficient pairs into output[0 .. output_length - 1], where
  // output_length = 2m - taps + 2.
  static void inverse(const f32* approximations, const f32* details, std::size_t m, const f32* low,
                      const f32* high, std::size_t taps, f32* output, std::size_t output_length);
};

}  // namespace vibrel
