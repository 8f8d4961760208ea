#pragma once

// Include only from files under avx/, which are built with the AVX tier's flags.

#include <immintrin.h>

#include <cstdint>

#include "vibrel/kernel/lane_wise_ops.hpp"
#include "vibrel/kernel/sample.hpp"
#include "vibrel/kernel/vector_ops.hpp"

namespace vibrel {

// Eight lanes of samples (Reg) and of 32-bit arena indices (Index).
template <>
struct VectorOps<avx::Avx2FmaSet> : LaneWiseOps<avx::Avx2FmaSet, sizeof(__m256)> {
  static Reg broadcast(f32 v) { return _mm256_set1_ps(v); }
  static Reg fmadd(Reg a, Reg b, Reg c) { return _mm256_fmadd_ps(a, b, c); }

  // p[0], p[2], ..., p[14] into `even` and p[1], ..., p[15] into `odd`. The shuffle works
  // within 128-bit halves, so both come out in lane order 0 1 4 5 2 3 6 7; sums over such
  // registers keep that order and store_unscrambled restores it once per result.
  static void deinterleave(const f32* p, Reg& even, Reg& odd) {
    const Reg lo = load(p);
    const Reg hi = load(p + 8);
    even = _mm256_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0));
    odd = _mm256_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1));
  }

  static void store_unscrambled(f32* p, Reg v) {
    const __m256d pairs = _mm256_castps_pd(v);
    store(p, _mm256_castpd_ps(_mm256_permute4x64_pd(pairs, _MM_SHUFFLE(3, 1, 2, 0))));
  }

  // p[2l] += even[l], p[2l + 1] += odd[l] for l = 0 .. 7.
  static void add_interleaved(f32* p, Reg even, Reg odd) {
    const Reg lo = _mm256_unpacklo_ps(even, odd);  // e0 o0 e1 o1 | e4 o4 e5 o5
    const Reg hi = _mm256_unpackhi_ps(even, odd);  // e2 o2 e3 o3 | e6 o6 e7 o7
    store(p, add(load(p), _mm256_permute2f128_ps(lo, hi, 0x20)));
    store(p + 8, add(load(p + 8), _mm256_permute2f128_ps(lo, hi, 0x31)));
  }

  static Index index_broadcast(std::int32_t v) { return _mm256_set1_epi32(v); }
  static Index index_min_unsigned(Index a, Index b) { return _mm256_min_epu32(a, b); }
  static std::uint32_t index_first(Index v) {
    return static_cast<std::uint32_t>(_mm256_cvtsi256_si32(v));
  }
  static Reg gather(const f32* base, Index index) { return _mm256_i32gather_ps(base, index, 4); }
};

}  // namespace vibrel
