#pragma once

#include <cstddef>

#include "vibrel/dwt.hpp"

namespace vibrel {

// Portable kernels of the CDF lifting steps, with the contract of avx::LiftingKernels. Each
// formula forms the neighbour sum, multiplies it by the constant and rounds, then adds the
// sample: two roundings. The build's -ffp-contract=off keeps the compiler from fusing them.
struct ScalarLiftingKernels {
  static f32 lift(f32 sum, f32 c, f32 x) { return sum * c + x; }
  static void split_predict(const f32* x, f32* s, f32* d, std::size_t count, f32 c);
  static void update(f32* s, const f32* d, std::size_t count, f32 c);
  static void predict(const f32* s, f32* d, std::size_t count, f32 c);
  static void predict_interleave(const f32* e, const f32* d, f32* y, std::size_t count, f32 c);
  static void scale(const f32* in, f32* out, std::size_t count, f32 c);
};

}  // namespace vibrel
