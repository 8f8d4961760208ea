#include "vibrel/avx/cdf_lifting.hpp"

#include <immintrin.h>

namespace vibrel::avx {
namespace {

// Local instead of std::min: an inline template instantiated here could be the copy the
// linker keeps for scalar callers.
inline std::size_t smaller(std::size_t a, std::size_t b) { return a < b ? a : b; }

// sum * c + x with a single rounding, so the scalar tails round exactly like the lanes.
inline float fused(float sum, float c, float x) {
  return _mm_cvtss_f32(_mm_fmadd_ss(_mm_set_ss(sum), _mm_set_ss(c), _mm_set_ss(x)));
}

// p[0], p[2], ..., p[14] in order, and p[1], p[3], ..., p[15] in order.
inline void deinterleave8(const float* p, __m256& even, __m256& odd) {
  const __m256 lo = _mm256_loadu_ps(p);
  const __m256 hi = _mm256_loadu_ps(p + 8);
  // Per 128-bit lane: (p0 p2 p8 p10 | p4 p6 p12 p14); the 64-bit pieces then go in order 0 2 1 3.
  const __m256 e = _mm256_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0));
  const __m256 o = _mm256_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1));
  even = _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(e), _MM_SHUFFLE(3, 1, 2, 0)));
  odd = _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(o), _MM_SHUFFLE(3, 1, 2, 0)));
}

inline __m256 evens8(const float* p) {
  const __m256 e = _mm256_shuffle_ps(_mm256_loadu_ps(p), _mm256_loadu_ps(p + 8),
                                     _MM_SHUFFLE(2, 0, 2, 0));
  return _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(e), _MM_SHUFFLE(3, 1, 2, 0)));
}

// s[k..k+8) += (d[k-1..k+7) + d[k..k+8)) * c
inline void update8(float* s, const float* d, std::size_t k, __m256 c) {
  const __m256 sum = _mm256_add_ps(_mm256_loadu_ps(d + k - 1), _mm256_loadu_ps(d + k));
  _mm256_storeu_ps(s + k, _mm256_fmadd_ps(sum, c, _mm256_loadu_ps(s + k)));
}

// Stores e[k..k+8) and o[k..k+8) interleaved into y[2k..2k+16).
inline void interleave8(__m256 e, __m256 o, float* y) {
  const __m256 lo = _mm256_unpacklo_ps(e, o);  // e0 o0 e1 o1 | e4 o4 e5 o5
  const __m256 hi = _mm256_unpackhi_ps(e, o);  // e2 o2 e3 o3 | e6 o6 e7 o7
  _mm256_storeu_ps(y, _mm256_permute2f128_ps(lo, hi, 0x20));
  _mm256_storeu_ps(y + 8, _mm256_permute2f128_ps(lo, hi, 0x31));
}

}  // namespace

void LiftingKernels::split_predict(const float* x, std::size_t n, float* s, float* d,
                                   float c) {
  const __m256 c8 = _mm256_set1_ps(c);
  const __m128 c4 = _mm_set1_ps(c);
  std::size_t k = 0;
  // A block of 8 details reads x[2k .. 2k+17].
  for (; 2 * k + 18 <= n; k += 8) {
    __m256 even;
    __m256 odd;
    deinterleave8(x + 2 * k, even, odd);
    const __m256 sum = _mm256_add_ps(even, evens8(x + 2 * k + 2));
    _mm256_storeu_ps(s + k, even);
    _mm256_storeu_ps(d + k, _mm256_fmadd_ps(sum, c8, odd));
  }
  // A block of 4 reads x[2k .. 2k+9].
  for (; 2 * k + 10 <= n; k += 4) {
    const __m128 lo = _mm_loadu_ps(x + 2 * k);
    const __m128 hi = _mm_loadu_ps(x + 2 * k + 4);
    const __m128 even = _mm_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0));
    const __m128 odd = _mm_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1));
    const __m128 next = _mm_shuffle_ps(_mm_loadu_ps(x + 2 * k + 2), _mm_loadu_ps(x + 2 * k + 6),
                                       _MM_SHUFFLE(2, 0, 2, 0));
    _mm_storeu_ps(s + k, even);
    _mm_storeu_ps(d + k, _mm_fmadd_ps(_mm_add_ps(even, next), c4, odd));
  }
  for (; 2 * k + 2 < n; ++k) {
    s[k] = x[2 * k];
    d[k] = fused(x[2 * k] + x[2 * k + 2], c, x[2 * k + 1]);
  }
  if (n % 2 == 0) {
    // k == n/2 - 1: the last odd sample has no right neighbour and mirrors x[n-2].
    s[k] = x[n - 2];
    d[k] = fused(x[n - 2] + x[n - 2], c, x[n - 1]);
    ++k;
  }
  const std::size_t a = n - n / 2;
  for (; k < a; ++k) s[k] = x[2 * k];
}

void LiftingKernels::update(float* s, std::size_t a, const float* d, std::size_t b, float c) {
  const __m256 c8 = _mm256_set1_ps(c);
  s[0] = fused(d[0] + d[0], c, s[0]);
  // Inner coefficients 1 ..= last have both neighbours inside d.
  const std::size_t last = smaller(b - 1, a - 2);
  std::size_t k = 1;
  for (; k + 31 <= last; k += 32) {
    update8(s, d, k, c8);
    update8(s, d, k + 8, c8);
    update8(s, d, k + 16, c8);
    update8(s, d, k + 24, c8);
  }
  for (; k + 7 <= last; k += 8) update8(s, d, k, c8);
  if (k + 3 <= last) {
    const __m128 sum = _mm_add_ps(_mm_loadu_ps(d + k - 1), _mm_loadu_ps(d + k));
    _mm_storeu_ps(s + k, _mm_fmadd_ps(sum, _mm_set1_ps(c), _mm_loadu_ps(s + k)));
    k += 4;
  }
  for (; k <= last; ++k) s[k] = fused(d[k - 1] + d[k], c, s[k]);
  // For odd n (a == b + 1) both neighbours of the last coefficient are d[b-1].
  s[a - 1] = fused(d[a - 2] + d[b - 1], c, s[a - 1]);
}

void LiftingKernels::predict(const float* s, std::size_t a, float* d, std::size_t b, float c) {
  const __m256 c8 = _mm256_set1_ps(c);
  const std::size_t pairs = smaller(a - 1, b);
  std::size_t k = 0;
  for (; k + 8 <= pairs; k += 8) {
    const __m256 sum = _mm256_add_ps(_mm256_loadu_ps(s + k), _mm256_loadu_ps(s + k + 1));
    _mm256_storeu_ps(d + k, _mm256_fmadd_ps(sum, c8, _mm256_loadu_ps(d + k)));
  }
  if (k + 4 <= pairs) {
    const __m128 sum = _mm_add_ps(_mm_loadu_ps(s + k), _mm_loadu_ps(s + k + 1));
    _mm_storeu_ps(d + k, _mm_fmadd_ps(sum, _mm_set1_ps(c), _mm_loadu_ps(d + k)));
    k += 4;
  }
  for (; k < pairs; ++k) d[k] = fused(s[k] + s[k + 1], c, d[k]);
  if (pairs < b) d[b - 1] = fused(s[b - 1] + s[b - 1], c, d[b - 1]);
}

void LiftingKernels::predict_interleave(const float* e, std::size_t a, const float* d,
                                        std::size_t b, float c, float* y) {
  const __m256 c8 = _mm256_set1_ps(c);
  const std::size_t pairs = smaller(a - 1, b);
  std::size_t k = 0;
  for (; k + 8 <= pairs; k += 8) {
    const __m256 even = _mm256_loadu_ps(e + k);
    const __m256 sum = _mm256_add_ps(even, _mm256_loadu_ps(e + k + 1));
    interleave8(even, _mm256_fmadd_ps(sum, c8, _mm256_loadu_ps(d + k)), y + 2 * k);
  }
  if (k + 4 <= pairs) {
    const __m128 even = _mm_loadu_ps(e + k);
    const __m128 sum = _mm_add_ps(even, _mm_loadu_ps(e + k + 1));
    const __m128 odd = _mm_fmadd_ps(sum, _mm_set1_ps(c), _mm_loadu_ps(d + k));
    _mm_storeu_ps(y + 2 * k, _mm_unpacklo_ps(even, odd));
    _mm_storeu_ps(y + 2 * k + 4, _mm_unpackhi_ps(even, odd));
    k += 4;
  }
  for (; k < pairs; ++k) {
    y[2 * k] = e[k];
    y[2 * k + 1] = fused(e[k] + e[k + 1], c, d[k]);
  }
  if (pairs < b) {
    y[2 * b - 2] = e[b - 1];
    y[2 * b - 1] = fused(e[b - 1] + e[b - 1], c, d[b - 1]);
  }
  if (a > b) y[2 * b] = e[b];
}

void LiftingKernels::scale(const float* in, float* out, std::size_t n, float c) {
  const __m256 c8 = _mm256_set1_ps(c);
  std::size_t k = 0;
  for (; k + 8 <= n; k += 8) _mm256_storeu_ps(out + k, _mm256_mul_ps(_mm256_loadu_ps(in + k), c8));
  if (k + 4 <= n) {
    _mm_storeu_ps(out + k, _mm_mul_ps(_mm_loadu_ps(in + k), _mm_set1_ps(c)));
    k += 4;
  }
  for (; k < n; ++k) out[k] = in[k] * c;
}

}  // namespace vibrel::avx
