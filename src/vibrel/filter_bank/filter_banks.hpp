#pragma once

// Every orthogonal filter-bank executor, by the name the factory uses. Each is an
// IncompleteDwtExecutor<f32> constructed as X(BorderMode mode, std::span<const f32> low_pass).
// The Sse and Avx members may only be built and run when has_sse_tier() / has_avx_tier().
// Their members are defined once, in kernel_filter_bank.cpp.

#include "vibrel/filter_bank/kernel_filter_bank.hpp"
#include "vibrel/kernel/filter_bank_kernels.hpp"

namespace vibrel {

template <class Set, std::size_t N>
using FixedTapsWaveletOf = KernelFilterBank<FixedTapsKernel<Set, N>>;

// One tier's members for 2 to 12 taps, named <Prefix>Wavelet<N>Taps<Suffix>.
#define VIBREL_FIXED_TAPS_NAMES(Prefix, Suffix, Set)                 \
  using Prefix##Wavelet2Taps##Suffix = FixedTapsWaveletOf<Set, 2>;   \
  using Prefix##Wavelet4Taps##Suffix = FixedTapsWaveletOf<Set, 4>;   \
  using Prefix##Wavelet6Taps##Suffix = FixedTapsWaveletOf<Set, 6>;   \
  using Prefix##Wavelet8Taps##Suffix = FixedTapsWaveletOf<Set, 8>;   \
  using Prefix##Wavelet10Taps##Suffix = FixedTapsWaveletOf<Set, 10>; \
  using Prefix##Wavelet12Taps##Suffix = FixedTapsWaveletOf<Set, 12>

// Wavelet2Taps .. Wavelet12Taps, and Wavelet16Taps.
VIBREL_FIXED_TAPS_NAMES(, , ScalarSet);
using Wavelet16Taps = FixedTapsWaveletOf<ScalarSet, 16>;

// SseWavelet2TapsF32 .. SseWavelet12TapsF32. Taps per record: 2 as (h0, h1) twice; 4 plain;
// 6 padded to 8; 8 plain; 10 and 12 padded to 12. There is no 16-tap member: the factory uses
// SseWaveletNTapsF32 for 16 taps.
VIBREL_FIXED_TAPS_NAMES(Sse, F32, sse::Sse42Set);

// AvxWavelet2TapsF32 .. AvxWavelet12TapsF32, and AvxWavelet16TapsF32. Taps per record: 2 four
// times; 4 twice; 6 padded to 8; 8 plain; 10 and 12 padded to 16; 16.
VIBREL_FIXED_TAPS_NAMES(Avx, F32, avx::Avx2FmaSet);
using AvxWavelet16TapsF32 = FixedTapsWaveletOf<avx::Avx2FmaSet, 16>;

#undef VIBREL_FIXED_TAPS_NAMES

using WaveletNTaps = KernelFilterBank<NTapsKernel<ScalarSet>>;
using SseWaveletNTapsF32 = KernelFilterBank<NTapsKernel<sse::Sse42Set>>;
using AvxWaveletNTapsF32 = KernelFilterBank<NTapsKernel<avx::Avx2FmaSet>>;

}  // namespace vibrel
