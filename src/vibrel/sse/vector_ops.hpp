#pragma once

// Include only from files under sse/, which are built with the SSE tier's flags.

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "vibrel/kernel/sample.hpp"
#include "vibrel/kernel/vector_ops.hpp"

namespace vibrel {

// Four lanes of samples (Reg) and of 32-bit arena indices (Index).
template <>
struct VectorOps<sse::Sse42Set> {
  using Reg = __m128;
  using Index = __m128i;
  static constexpr std::size_t kLanes = 4;

  static Reg broadcast(f32 v) { return _mm_set1_ps(v); }
  static Reg load(const f32* p) { return _mm_loadu_ps(p); }
  static void store(f32* p, Reg v) { _mm_storeu_ps(p, v); }
  static Reg mul(Reg a, Reg b) { return _mm_mul_ps(a, b); }
  static Reg add(Reg a, Reg b) { return _mm_add_ps(a, b); }

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
  static Index index_load(const std::int32_t* aligned) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(aligned));
  }
  static Index index_add(Index a, Index b) { return _mm_add_epi32(a, b); }
  static Index index_sub(Index a, Index b) { return _mm_sub_epi32(a, b); }
  static Index index_xor(Index a, Index b) { return _mm_xor_si128(a, b); }
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
