#pragma once

#include <cstddef>

#include "vibrel/dwt.hpp"

namespace vibrel {

// Portable kernels of the CDF lifting steps, with the same contract as avx::LiftingKernels.
// Each formula forms the neighbour sum, multiplies it by the constant and rounds, then adds
// the sample: (left + right) * c + sample with two roundings. The build's -ffp-contract=off
// keeps the compiler from fusing them.
struct ScalarLiftingKernels {
  static void split_predict(const f32* x, std::size_t n, f32* s, f32* d, f32 c);
  static void update(f32* s, std::size_t a, const f32* d, std::size_t b, f32 c);
  static void predict(const f32* s, std::size_t a, f32* d, std::size_t b, f32 c);
  static void predict_interleave(const f32* e, std::size_t a, const f32* d, std::size_t b,
                                 f32 c, f32* y);
  static void scale(const f32* in, f32* out, std::size_t n, f32 c);
};

}  // namespace vibrel
