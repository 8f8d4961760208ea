#pragma once

#include <cstddef>

namespace vibrel::avx {

// AVX2/FMA kernels of the CDF lifting steps. Each lifting formula is
// (left neighbour + right neighbour) * c + sample with one fused rounding, 8 lanes at a time.
// Kernels only compute: every length check and allocation happens in the scalar executor,
// which guarantees the preconditions stated here (a = approximation length, b = details
// length, a >= 2, b >= 1, b <= a <= b + 1). Bands never overlap unless stated.
struct LiftingKernels {
  // First predict of a level fused with the split: s[k] = x[2k] for k < n - n/2 and
  // d[k] = (x[2k] + x[2k+2]) * c + x[2k+1], the last detail of an even n mirroring x[n-2].
  static void split_predict(const float* x, std::size_t n, float* s, float* d, float c);

  // s[k] += (d[k-1] + d[k]) * c with d mirrored at both ends (d[-1] = d[0], d[b] = d[b-1]).
  static void update(float* s, std::size_t a, const float* d, std::size_t b, float c);

  // d[k] += (s[k] + s[k+1]) * c with s[a] = s[a-1] mirrored when a == b.
  static void predict(const float* s, std::size_t a, float* d, std::size_t b, float c);

  // Last inverse predict fused with the interleave: y[2k] = e[k],
  // y[2k+1] = (e[k] + e[k+1]) * c + d[k] (e mirrored as in predict), y[2b] = e[b] if a > b.
  // y holds a + b samples.
  static void predict_interleave(const float* e, std::size_t a, const float* d, std::size_t b,
                                 float c, float* y);

  // out[k] = in[k] * c; in and out may be the same array.
  static void scale(const float* in, float* out, std::size_t n, float c);
};

}  // namespace vibrel::avx
