#pragma once

#include <cstddef>

namespace vibrel::avx {

// AVX2/FMA kernels of the CDF lifting steps: each formula is
// (left neighbour + right neighbour) * c + sample with one fused rounding, 8 lanes at a time,
// then 4, then one. Kernels cover interior coefficients only, `count` of them from the given
// pointers; the scalar executor handles the mirrored border coefficients with `lift`, checks
// every length and owns every allocation. Bands never overlap unless stated.
struct LiftingKernels {
  // sum * c + x with the same single rounding as the lanes.
  static float lift(float sum, float c, float x);

  // s[k] = x[2k], d[k] = (x[2k] + x[2k+2]) * c + x[2k+1]; reads x[0 .. 2 * count].
  static void split_predict(const float* x, float* s, float* d, std::size_t count, float c);

  // s[k] = (d[k-1] + d[k]) * c + s[k]; reads d[-1 .. count-1].
  static void update(float* s, const float* d, std::size_t count, float c);

  // d[k] = (s[k] + s[k+1]) * c + d[k]; reads s[0 .. count].
  static void predict(const float* s, float* d, std::size_t count, float c);

  // y[2k] = e[k], y[2k+1] = (e[k] + e[k+1]) * c + d[k]: the last inverse predict written
  // straight into the interleaved output; reads e[0 .. count].
  static void predict_interleave(const float* e, const float* d, float* y, std::size_t count,
                                 float c);

  // out[k] = in[k] * c; in and out may be the same array.
  static void scale(const float* in, float* out, std::size_t count, float c);
};

}  // namespace vibrel::avx
