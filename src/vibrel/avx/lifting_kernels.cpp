// The lifting kernels of the AVX tier: one fused rounding per formula, 8 lanes at a time, then
// 4, then one.

#include "vibrel/kernel/lifting_kernels.hpp"

#include <immintrin.h>

namespace vibrel::avx {
namespace {

// Even and odd samples of p[0 .. 16), each in order. Loading the 128-bit halves crosswise
// leaves one in-lane shuffle per result.
inline void deinterleave8(const float* p, __m256& even, __m256& odd) {
  const __m256 first = _mm256_loadu2_m128(p + 8, p);        // p0..p3   | p8..p11
  const __m256 second = _mm256_loadu2_m128(p + 12, p + 4);  // p4..p7   | p12..p15
  even = _mm256_shuffle_ps(first, second, _MM_SHUFFLE(2, 0, 2, 0));
  odd = _mm256_shuffle_ps(first, second, _MM_SHUFFLE(3, 1, 3, 1));
}

// (e1 .. e7, next): the right neighbours of the lanes of e.
inline __m256 shift_in(__m256 e, float next) {
  const __m256 rotated = _mm256_permutevar8x32_ps(e, _mm256_setr_epi32(1, 2, 3, 4, 5, 6, 7, 0));
  return _mm256_blend_ps(rotated, _mm256_set1_ps(next), 0x80);
}

inline __m128 shift_in(__m128 e, float next) {
  return _mm_castsi128_ps(
      _mm_alignr_epi8(_mm_castps_si128(_mm_set1_ps(next)), _mm_castps_si128(e), 4));
}

// Stores e[0..8) and o[0..8) interleaved into y[0..16).
inline void interleave8(__m256 e, __m256 o, float* y) {
  const __m256 lo = _mm256_unpacklo_ps(e, o);  // e0 o0 e1 o1 | e4 o4 e5 o5
  const __m256 hi = _mm256_unpackhi_ps(e, o);  // e2 o2 e3 o3 | e6 o6 e7 o7
  _mm256_storeu_ps(y, _mm256_permute2f128_ps(lo, hi, 0x20));
  _mm256_storeu_ps(y + 8, _mm256_permute2f128_ps(lo, hi, 0x31));
}

// s[0..8) = (d[-1..7) + d[0..8)) * c + s[0..8)
inline void update8(float* s, const float* d, __m256 c) {
  const __m256 sum = _mm256_add_ps(_mm256_loadu_ps(d - 1), _mm256_loadu_ps(d));
  _mm256_storeu_ps(s, _mm256_fmadd_ps(sum, c, _mm256_loadu_ps(s)));
}

}  // namespace
}  // namespace vibrel::avx

namespace vibrel {

using avx::deinterleave8;
using avx::interleave8;
using avx::shift_in;
using avx::update8;
using AvxLifting = LiftingKernels<avx::Avx2FmaSet>;

template <>
float AvxLifting::lift(float sum, float c, float x) {
  return _mm_cvtss_f32(_mm_fmadd_ss(_mm_set_ss(sum), _mm_set_ss(c), _mm_set_ss(x)));
}

template <>
void AvxLifting::split_predict(const float* x, float* s, float* d, std::size_t count, float c) {
  const __m256 c8 = _mm256_set1_ps(c);
  std::size_t k = 0;
  for (; k + 8 <= count; k += 8) {
    __m256 even;
    __m256 odd;
    deinterleave8(x + 2 * k, even, odd);
    const __m256 sum = _mm256_add_ps(even, shift_in(even, x[2 * k + 16]));
    _mm256_storeu_ps(s + k, even);
    _mm256_storeu_ps(d + k, _mm256_fmadd_ps(sum, c8, odd));
  }
  if (k + 4 <= count) {
    const __m128 lo = _mm_loadu_ps(x + 2 * k);
    const __m128 hi = _mm_loadu_ps(x + 2 * k + 4);
    const __m128 even = _mm_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0));
    const __m128 odd = _mm_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1));
    const __m128 sum = _mm_add_ps(even, shift_in(even, x[2 * k + 8]));
    _mm_storeu_ps(s + k, even);
    _mm_storeu_ps(d + k, _mm_fmadd_ps(sum, _mm_set1_ps(c), odd));
    k += 4;
  }
  for (; k < count; ++k) {
    s[k] = x[2 * k];
    d[k] = lift(x[2 * k] + x[2 * k + 2], c, x[2 * k + 1]);
  }
}

template <>
void AvxLifting::update(float* s, const float* d, std::size_t count, float c) {
  const __m256 c8 = _mm256_set1_ps(c);
  std::size_t k = 0;
  for (; k + 32 <= count; k += 32) {
    update8(s + k, d + k, c8);
    update8(s + k + 8, d + k + 8, c8);
    update8(s + k + 16, d + k + 16, c8);
    update8(s + k + 24, d + k + 24, c8);
  }
  for (; k + 8 <= count; k += 8) update8(s + k, d + k, c8);
  if (k + 4 <= count) {
    const __m128 sum = _mm_add_ps(_mm_loadu_ps(d - 1 + k), _mm_loadu_ps(d + k));
    _mm_storeu_ps(s + k, _mm_fmadd_ps(sum, _mm_set1_ps(c), _mm_loadu_ps(s + k)));
    k += 4;
  }
  const float* left = d - 1;
  for (; k < count; ++k) s[k] = lift(left[k] + d[k], c, s[k]);
}

template <>
void AvxLifting::predict(const float* s, float* d, std::size_t count, float c) {
  const __m256 c8 = _mm256_set1_ps(c);
  std::size_t k = 0;
  for (; k + 8 <= count; k += 8) {
    const __m256 sum = _mm256_add_ps(_mm256_loadu_ps(s + k), _mm256_loadu_ps(s + k + 1));
    _mm256_storeu_ps(d + k, _mm256_fmadd_ps(sum, c8, _mm256_loadu_ps(d + k)));
  }
  if (k + 4 <= count) {
    const __m128 sum = _mm_add_ps(_mm_loadu_ps(s + k), _mm_loadu_ps(s + k + 1));
    _mm_storeu_ps(d + k, _mm_fmadd_ps(sum, _mm_set1_ps(c), _mm_loadu_ps(d + k)));
    k += 4;
  }
  for (; k < count; ++k) d[k] = lift(s[k] + s[k + 1], c, d[k]);
}

template <>
void AvxLifting::predict_interleave(const float* e, const float* d, float* y, std::size_t count,
                                    float c) {
  const __m256 c8 = _mm256_set1_ps(c);
  std::size_t k = 0;
  for (; k + 8 <= count; k += 8) {
    const __m256 even = _mm256_loadu_ps(e + k);
    const __m256 sum = _mm256_add_ps(even, _mm256_loadu_ps(e + k + 1));
    interleave8(even, _mm256_fmadd_ps(sum, c8, _mm256_loadu_ps(d + k)), y + 2 * k);
  }
  if (k + 4 <= count) {
    const __m128 even = _mm_loadu_ps(e + k);
    const __m128 sum = _mm_add_ps(even, _mm_loadu_ps(e + k + 1));
    const __m128 odd = _mm_fmadd_ps(sum, _mm_set1_ps(c), _mm_loadu_ps(d + k));
    _mm_storeu_ps(y + 2 * k, _mm_unpacklo_ps(even, odd));
    _mm_storeu_ps(y + 2 * k + 4, _mm_unpackhi_ps(even, odd));
    k += 4;
  }
  for (; k < count; ++k) {
    y[2 * k] = e[k];
    y[2 * k + 1] = lift(e[k] + e[k + 1], c, d[k]);
  }
}

template <>
void AvxLifting::scale(const float* in, float* out, std::size_t count, float c) {
  const __m256 c8 = _mm256_set1_ps(c);
  std::size_t k = 0;
  for (; k + 8 <= count; k += 8) {
    _mm256_storeu_ps(out + k, _mm256_mul_ps(_mm256_loadu_ps(in + k), c8));
  }
  if (k + 4 <= count) {
    _mm_storeu_ps(out + k, _mm_mul_ps(_mm_loadu_ps(in + k), _mm_set1_ps(c)));
    k += 4;
  }
  for (; k < count; ++k) out[k] = in[k] * c;
}

}  // namespace vibrel
