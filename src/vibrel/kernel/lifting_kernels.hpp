#pragma once

#include <cstddef>

#include "vibrel/kernel/sample.hpp"
#include "vibrel/kernel/vector_ops.hpp"

namespace vibrel {

// The kernels of the CDF lifting steps for one instruction set. Each tier defines the members
// for its set in its own folder (scalar/lifting_kernels.cpp, avx/lifting_kernels.cpp), so the
// flag-free executors in lifting/ hold and call them without including a tier. Kernels cover
// interior coefficients only, `count` of them from the given pointers; the executor handles the
// mirrored border coefficients with `lift`, checks every length and owns every allocation.
// Bands never overlap unless stated.
//
// Every formula is (left neighbour + right neighbour) * c + sample. The scalar set rounds the
// product and then the sum (the build's -ffp-contract=off keeps the compiler from fusing them);
// a set with kFused rounds once, so its bands differ from scalar in the last bits.
template <class Set>
struct LiftingKernels {
  // sum * c + x with the set's rounding.
  static f32 lift(f32 sum, f32 c, f32 x);

  // s[k] = x[2k], d[k] = (x[2k] + x[2k+2]) * c + x[2k+1]; reads x[0 .. 2 * count].
  static void split_predict(const f32* x, f32* s, f32* d, std::size_t count, f32 c);

  // s[k] = (d[k-1] + d[k]) * c + s[k]; reads d[-1 .. count-1].
  static void update(f32* s, const f32* d, std::size_t count, f32 c);

  // d[k] = (s[k] + s[k+1]) * c + d[k]; reads s[0 .. count].
  static void predict(const f32* s, f32* d, std::size_t count, f32 c);

  // y[2k] = e[k], y[2k+1] = (e[k] + e[k+1]) * c + d[k]: the last inverse predict written
  // straight into the interleaved output; reads e[0 .. count].
  static void predict_interleave(const f32* e, const f32* d, f32* y, std::size_t count, f32 c);

  // out[k] = in[k] * c; in and out may be the same array.
  static void scale(const f32* in, f32* out, std::size_t count, f32 c);
};

// The sets that have lifting kernels. SSE has none: at that tier the factory builds the scalar
// lifting executors.
#define VIBREL_LIFTING_KERNELS_DEFINED_FOR(Set)                                                 \
  template <> void LiftingKernels<Set>::split_predict(const f32*, f32*, f32*, std::size_t, f32); \
  template <> void LiftingKernels<Set>::update(f32*, const f32*, std::size_t, f32);             \
  template <> void LiftingKernels<Set>::predict(const f32*, f32*, std::size_t, f32);            \
  template <> void LiftingKernels<Set>::predict_interleave(const f32*, const f32*, f32*,        \
                                                           std::size_t, f32);                   \
  template <> void LiftingKernels<Set>::scale(const f32*, f32*, std::size_t, f32)

VIBREL_LIFTING_KERNELS_DEFINED_FOR(ScalarSet);
VIBREL_LIFTING_KERNELS_DEFINED_FOR(avx::Avx2FmaSet);

// The scalar rounding is plain arithmetic, kept inline for the executors' border loops.
template <>
inline f32 LiftingKernels<ScalarSet>::lift(f32 sum, f32 c, f32 x) {
  return sum * c + x;
}
template <>
f32 LiftingKernels<avx::Avx2FmaSet>::lift(f32 sum, f32 c, f32 x);

}  // namespace vibrel
