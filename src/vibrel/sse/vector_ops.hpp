#pragma once

// Include only from files under sse/, which are built with the SSE tier's flags.

#include <immintrin.h>

#include <cstdint>

#include "vibrel/kernel/lane_wise_ops.hpp"
#include "vibrel/kernel/sample.hpp"
#include "vibrel/kernel/vector_ops.hpp"

namespace vibrel {

// Four lanes of samples (Reg) and of 32-bit arena indices (Index).
template <>
struct VectorOps<sse::Sse42Set> : LaneWiseOps<sse::Sse42Set, sizeof(__m128)> {
  static Reg broadcast(f32 v) { return _mm_set1_ps(v); }

  // p[0], p[2], p[4], p[6] into `even` and p[1], p[3], p[5], p[7] into `odd`, in order.
  static void deinterleave(const f32* p, Reg& even, Reg& odd) {
    const Reg lo = load(p);
    const Reg hi = load(p + 4);
    even = _mm_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0));
    odd = _mm_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1));
  }

  static void store_unscrambled(f32* p, Reg v) { store(p, v); }

  // p[2l] += even[l], p[2l + 1] += odd[l] for l = 0 .. 3.
  static void add_interleaved(f32* p, Reg even, Reg odd) {
    store(p, add(load(p), _mm_unpacklo_ps(even, odd)));
    store(p + 4, add(load(p + 4), _mm_unpackhi_ps(even, odd)));
  }

  static Index index_broadcast(std::int32_t v) { return _mm_set1_epi32(v); }
  static Index index_min_unsigned(Index a, Index b) { return _mm_min_epu32(a, b); }
  static std::uint32_t index_first(Index v) {
    return static_cast<std::uint32_t>(_mm_cvtsi128_si32(v));
  }

  // There is no gather at this tier: the four indices are computed together, the loads are
  // single.
  static Reg gather(const f32* base, Index index) {
    return _mm_setr_ps(base[_mm_extract_epi32(index, 0)], base[_mm_extract_epi32(index, 1)],
                       base[_mm_extract_epi32(index, 2)], base[_mm_extract_epi32(index, 3)]);
  }
};

}  // namespace vibrel
