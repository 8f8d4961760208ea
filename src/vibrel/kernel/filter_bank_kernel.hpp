#pragma once

// Read this first: the arithmetic of every orthogonal filter bank, written once over a vector
// type V and shared by the scalar, SSE and AVX kernels.
//
//   analysis   approx[i]  = sum_k low[k]  * w[2i + k]       (w: the signal shifted by N - 2,
//              details[i] = sum_k high[k] * w[2i + k]        or the generic executor's arena)
//   synthesis  out[2p + r] += sum_s low[2s + r]  * a[p + N/2 - 1 - s]
//                           + sum_s high[2s + r] * d[p + N/2 - 1 - s]        (even N, r = 0, 1)
//
// Synthesis is the transpose of analysis with the border extension replaced by truncation;
// gathering per output sample instead of scattering per coefficient pair makes every index
// valid for every output position, so it needs no bounds checks at all.
//
// Products are rounded one by one and summed in tap order (or fused, where a kernel says so).
// The vector paths keep exactly that order per lane, so without fusion they agree bit for bit
// with the scalar path. V, a VectorOps set (vector_ops.hpp), provides the register type and
// kLanes; kLanes == 0 (the scalar set) means the plain scalar loops alone.
//
// Everything here lives in the per-instruction-set namespace: each kernel file gets its own
// copy compiled with its own flags.

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "vibrel/kernel/border_mode.hpp"
#include "vibrel/kernel/filter_bank_layout.hpp"
#include "vibrel/kernel/filter_bank_sizes.hpp"
#include "vibrel/kernel/filter_padding.hpp"
#include "vibrel/kernel/isa.hpp"
#include "vibrel/kernel/sample.hpp"

namespace vibrel {
inline namespace VIBREL_ISA {

// Fixed tap counts are compile-time constants so that the tap loops unroll; the generic
// executor passes a plain std::size_t.
template <std::size_t N>
using TapCount = std::integral_constant<std::size_t, N>;

template <bool kFused>
[[nodiscard]] inline f32 multiply_add(f32 acc, f32 a, f32 b) {
  if constexpr (kFused) {
    return __builtin_fmaf(a, b, acc);
  } else {
    return acc + a * b;
  }
}

// The taps as whole registers. With a compile-time count they are broadcast once per call
// (kept in registers or read back as plain loads); a run-time count broadcasts on use, which
// is a single load from memory on AVX.
template <class V, class Count>
class BroadcastTaps;

template <class V, std::size_t N>
class BroadcastTaps<V, TapCount<N>> {
 public:
  explicit BroadcastTaps(const f32* taps) {
    for (std::size_t k = 0; k < N; ++k) regs_[k] = V::broadcast(taps[k]);
  }
  [[nodiscard]] typename V::Reg operator[](std::size_t k) const { return regs_[k]; }

 private:
  typename V::Reg regs_[N];
};

template <class V>
class BroadcastTaps<V, std::size_t> {
 public:
  explicit BroadcastTaps(const f32* taps) : taps_(taps) {}
  [[nodiscard]] typename V::Reg operator[](std::size_t k) const { return V::broadcast(taps_[k]); }

 private:
  const f32* taps_;
};

template <class V, bool kFused>
[[nodiscard]] inline typename V::Reg multiply_add_lanes(typename V::Reg acc, typename V::Reg a,
                                                        typename V::Reg b) {
  if constexpr (kFused) {
    return V::fmadd(a, b, acc);
  } else {
    return V::add(acc, V::mul(a, b));
  }
}

// Analysis outputs [first, end), one at a time: the reference order.
template <bool kFused, class Count>
inline void analysis_outputs(const f32* w, std::size_t first, std::size_t end, const f32* low,
                             const f32* high, Count taps, f32* approx, f32* details) {
  const std::size_t count = taps;
  for (std::size_t i = first; i < end; ++i) {
    const f32* window = w + 2 * i;
    f32 a = low[0] * window[0];
    f32 d = high[0] * window[0];
    for (std::size_t k = 1; k < count; ++k) {
      a = multiply_add<kFused>(a, low[k], window[k]);
      d = multiply_add<kFused>(d, high[k], window[k]);
    }
    approx[i] = a;
    details[i] = d;
  }
}

// kLanes outputs from w[0 .. 2 * kLanes + last_pair - 1]. Taps k and k + 1 share one pair of
// loads: the even samples meet tap k, the odd ones tap k + 1.
template <class V, bool kFused, class Count>
inline void analysis_block(const f32* w, const BroadcastTaps<V, Count>& low,
                           const BroadcastTaps<V, Count>& high, Count taps, f32* approx,
                           f32* details) {
  using Reg = typename V::Reg;
  const std::size_t count = taps;
  Reg even;
  Reg odd;
  V::deinterleave(w, even, odd);
  Reg a = V::mul(low[0], even);
  Reg d = V::mul(high[0], even);
  for (std::size_t k = 1; k < count; ++k) {
    if (k % 2 == 0) V::deinterleave(w + k, even, odd);
    const Reg samples = k % 2 == 0 ? even : odd;
    a = multiply_add_lanes<V, kFused>(a, low[k], samples);
    d = multiply_add_lanes<V, kFused>(d, high[k], samples);
  }
  V::store_unscrambled(approx, a);
  V::store_unscrambled(details, d);
}

// Analysis outputs [0, count) of windows w[2i .. 2i + taps - 1]; at most `readable` samples
// of w exist. Requires taps >= 1.
template <class V, bool kFused, class Count>
inline void analysis_windows(const f32* w, std::size_t readable, std::size_t count, const f32* low,
                             const f32* high, Count taps, f32* approx, f32* details) {
  std::size_t i = 0;
  if constexpr (V::kLanes > 0) {
    constexpr std::size_t kLanes = V::kLanes;
    // A block loads 2 * kLanes samples from each even tap offset up to last_pair; an odd
    // last tap loads a full pair too, one sample more than it needs.
    const std::size_t last_pair = (static_cast<std::size_t>(taps) - 1) & ~std::size_t{1};
    const BroadcastTaps<V, Count> low_regs(low);
    const BroadcastTaps<V, Count> high_regs(high);
    for (; i + kLanes <= count && 2 * i + 2 * kLanes + last_pair <= readable; i += kLanes) {
      analysis_block<V, kFused>(w + 2 * i, low_regs, high_regs, taps, approx + i, details + i);
    }
  }
  analysis_outputs<kFused>(w, i, count, low, high, taps, approx, details);
}

// Fixed-length analysis outputs [first, end) whose windows cross an edge of x: each sample
// is read through the border mapping (the same BorderInterpolation the padded arena uses, so
// fixed and generic executors agree in every mode). Windows are gathered `copies` at a time
// into a zero-padded buffer laid out like the taps and multiplied lane by lane; the sum runs
// over the N real taps in tap order, exactly as in analysis_outputs.
template <std::size_t N, TapLayout kLayout>
inline void border_outputs(const f32* x, const BorderInterpolation& border, std::size_t first,
                           std::size_t end, const f32* low, const f32* high, f32* approx,
                           f32* details) {
  constexpr std::int64_t kShift = static_cast<std::int64_t>(N) - 2;
  for (std::size_t i = first; i < end; i += kLayout.copies) {
    const std::size_t group = end - i < kLayout.copies ? end - i : kLayout.copies;
    f32 window[kLayout.stored()] = {};
    for (std::size_t c = 0; c < group; ++c) {
      const std::int64_t start = static_cast<std::int64_t>(2 * (i + c)) - kShift;
      for (std::size_t k = 0; k < N; ++k) {
        window[c * kLayout.padded + k] = border.sample(x, start + static_cast<std::int64_t>(k));
      }
    }
    f32 low_products[kLayout.stored()];
    f32 high_products[kLayout.stored()];
    for (std::size_t e = 0; e < kLayout.stored(); ++e) {
      low_products[e] = low[e] * window[e];
      high_products[e] = high[e] * window[e];
    }
    for (std::size_t c = 0; c < group; ++c) {
      const f32* lp = low_products + c * kLayout.padded;
      const f32* hp = high_products + c * kLayout.padded;
      f32 a = lp[0];
      f32 d = hp[0];
      for (std::size_t k = 1; k < N; ++k) {
        a = a + lp[k];
        d = d + hp[k];
      }
      approx[i + c] = a;
      details[i + c] = d;
    }
  }
}

// One forward level of a fixed-length executor: border run, interior, border run.
// Requires n >= N; approx and details hold m = floor((n + N - 1) / 2) samples each.
template <class V, std::size_t N, TapLayout kLayout>
inline void fixed_forward(const f32* x, std::size_t n, const f32* low, const f32* high,
                          BorderMode mode, f32* approx, f32* details) {
  const ForwardRuns runs = forward_runs(n, N);
  const BorderInterpolation border =
      BorderInterpolation::make(mode, 0, static_cast<std::int64_t>(n));
  border_outputs<N, kLayout>(x, border, 0, runs.interior_begin, low, high, approx, details);
  // The window of the first interior output starts exactly at sample 0.
  analysis_windows<V, false>(x, n, runs.interior_end - runs.interior_begin, low, high,
                             TapCount<N>{}, approx + runs.interior_begin,
                             details + runs.interior_begin);
  border_outputs<N, kLayout>(x, border, runs.interior_end, runs.band_length, low, high, approx,
                             details);
}

// Synthesis output pairs [first, end) for an even tap count, one pair at a time.
template <bool kFused, class Count>
inline void synthesis_outputs(const f32* a, const f32* d, std::size_t first, std::size_t end,
                              const f32* low, const f32* high, Count taps, f32* out) {
  const std::size_t half = static_cast<std::size_t>(taps) / 2;
  for (std::size_t p = first; p < end; ++p) {
    const f32* ap = a + p + half - 1;
    const f32* dp = d + p + half - 1;
    f32 even_a = low[0] * ap[0];
    f32 even_d = high[0] * dp[0];
    f32 odd_a = low[1] * ap[0];
    f32 odd_d = high[1] * dp[0];
    for (std::size_t s = 1; s < half; ++s) {
      even_a = multiply_add<kFused>(even_a, low[2 * s], *(ap - s));
      even_d = multiply_add<kFused>(even_d, high[2 * s], *(dp - s));
      odd_a = multiply_add<kFused>(odd_a, low[2 * s + 1], *(ap - s));
      odd_d = multiply_add<kFused>(odd_d, high[2 * s + 1], *(dp - s));
    }
    out[2 * p] += even_a + even_d;
    out[2 * p + 1] += odd_a + odd_d;
  }
}

// kLanes output pairs; ap and dp point at a[p + N/2 - 1] and d[p + N/2 - 1].
template <class V, bool kFused, class Count>
inline void synthesis_block(const f32* ap, const f32* dp, const BroadcastTaps<V, Count>& low,
                            const BroadcastTaps<V, Count>& high, Count taps, f32* out) {
  using Reg = typename V::Reg;
  const std::size_t half = static_cast<std::size_t>(taps) / 2;
  Reg coeff_a = V::load(ap);
  Reg coeff_d = V::load(dp);
  Reg even_a = V::mul(low[0], coeff_a);
  Reg even_d = V::mul(high[0], coeff_d);
  Reg odd_a = V::mul(low[1], coeff_a);
  Reg odd_d = V::mul(high[1], coeff_d);
  for (std::size_t s = 1; s < half; ++s) {
    coeff_a = V::load(ap - s);
    coeff_d = V::load(dp - s);
    even_a = multiply_add_lanes<V, kFused>(even_a, low[2 * s], coeff_a);
    even_d = multiply_add_lanes<V, kFused>(even_d, high[2 * s], coeff_d);
    odd_a = multiply_add_lanes<V, kFused>(odd_a, low[2 * s + 1], coeff_a);
    odd_d = multiply_add_lanes<V, kFused>(odd_d, high[2 * s + 1], coeff_d);
  }
  V::add_interleaved(out, V::add(even_a, even_d), V::add(odd_a, odd_d));
}

// Adds the synthesis of m coefficient pairs into out[0 .. 2 * pairs - 1], pairs = (2m - N + 2)/2,
// for an even tap count >= 2.
template <class V, bool kFused, class Count>
inline void synthesis_pairs(const f32* a, const f32* d, std::size_t pairs, const f32* low,
                            const f32* high, Count taps, f32* out) {
  const std::size_t offset = static_cast<std::size_t>(taps) / 2 - 1;
  std::size_t p = 0;
  if constexpr (V::kLanes > 0) {
    const BroadcastTaps<V, Count> low_regs(low);
    const BroadcastTaps<V, Count> high_regs(high);
    for (; p + V::kLanes <= pairs; p += V::kLanes) {
      synthesis_block<V, kFused>(a + p + offset, d + p + offset, low_regs, high_regs, taps,
                                 out + 2 * p);
    }
  }
  synthesis_outputs<kFused>(a, d, p, pairs, low, high, taps, out);
}

// Synthesis for any tap count, odd ones included (only the generic executor accepts those):
// out[t] gathers every (j, k) with 2j + k - (N - 2) = t. Inside the output all such j lie in
// 0 .. m - 1; the check below only guards that invariant.
inline void synthesis_any_taps(const f32* a, const f32* d, std::size_t m, const f32* low,
                               const f32* high, std::size_t taps, f32* out,
                               std::size_t output_length) {
  const std::int64_t n_taps = static_cast<std::int64_t>(taps);
  const std::int64_t coefficients = static_cast<std::int64_t>(m);
  for (std::size_t t = 0; t < output_length; ++t) {
    const std::int64_t shifted = static_cast<std::int64_t>(t) + n_taps - 2;
    f32 sum_a = 0.0f;
    f32 sum_d = 0.0f;
    for (std::int64_t k = shifted & 1; k < n_taps; k += 2) {
      const std::int64_t j = (shifted - k) / 2;
      if (j < 0 || j >= coefficients) continue;
      sum_a = sum_a + low[k] * a[j];
      sum_d = sum_d + high[k] * d[j];
    }
    out[t] += sum_a + sum_d;
  }
}

// The generic executors' synthesis: the vector path for even tap counts, else the scalar one.
template <class V, bool kFused>
inline void generic_inverse(const f32* a, const f32* d, std::size_t m, const f32* low,
                            const f32* high, std::size_t taps, f32* out,
                            std::size_t output_length) {
  if (taps % 2 == 0) {
    synthesis_pairs<V, kFused>(a, d, output_length / 2, low, high, taps, out);
  } else {
    synthesis_any_taps(a, d, m, low, high, taps, out, output_length);
  }
}

}  // namespace VIBREL_ISA
}  // namespace vibrel
