#pragma once

// Include only from files under sse/ (built with -msse4.2).

#include <immintrin.h>

#include <cstddef>

#include "vibrel/dwt.hpp"

namespace vibrel::sse {

// The 4-lane operations the filter-bank kernels are written in (see filter_bank_kernel.hpp).
// No fused multiply-add at this tier.
struct TapsRegister {
  using Reg = __m128;
  static constexpr std::size_t kLanes = 4;

  static Reg broadcast(f32 v) { return _mm_set1_ps(v); }
  static Reg load(const f32* p) { return _mm_loadu_ps(p); }
  static Reg mul(Reg a, Reg b) { return _mm_mul_ps(a, b); }
  static Reg add(Reg a, Reg b) { return _mm_add_ps(a, b); }

  // p[0], p[2], p[4], p[6] into `even` and p[1], p[3], p[5], p[7] into `odd`, in order.
  static void deinterleave(const f32* p, Reg& even, Reg& odd) {
    const Reg lo = load(p);
    const Reg hi = load(p + 4);
    even = _mm_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0));
    odd = _mm_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1));
  }

  static void store_unscrambled(f32* p, Reg v) { _mm_storeu_ps(p, v); }

  // p[2l] += even[l], p[2l + 1] += odd[l] for l = 0 .. 3.
  static void add_interleaved(f32* p, Reg even, Reg odd) {
    _mm_storeu_ps(p, add(load(p), _mm_unpacklo_ps(even, odd)));
    _mm_storeu_ps(p + 4, add(load(p + 4), _mm_unpackhi_ps(even, odd)));
  }
};

}  // namespace vibrel::sse
