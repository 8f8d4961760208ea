#pragma once

// Every orthogonal filter-bank executor, by the name the factory uses. Each is an
// IncompleteDwtExecutor<f32> constructed as X(BorderMode mode, std::span<const f32> low_pass).
// The Sse and Avx members may only be built and run when has_sse_tier() / has_avx_tier().
// Their members are defined once, in fixed_taps.cpp and wavelet_n_taps.cpp.

#include "vibrel/filter_bank/fixed_taps.hpp"
#include "vibrel/filter_bank/wavelet_n_taps.hpp"
#include "vibrel/kernel/filter_bank_kernels.hpp"

namespace vibrel {

template <class Set, std::size_t N>
using FixedTapsWaveletOf = FixedTapsWavelet<FixedTapsKernel<Set, N>>;

using Wavelet2Taps = FixedTapsWaveletOf<ScalarSet, 2>;
using Wavelet4Taps = FixedTapsWaveletOf<ScalarSet, 4>;
using Wavelet6Taps = FixedTapsWaveletOf<ScalarSet, 6>;
using Wavelet8Taps = FixedTapsWaveletOf<ScalarSet, 8>;
using Wavelet10Taps = FixedTapsWaveletOf<ScalarSet, 10>;
using Wavelet12Taps = FixedTapsWaveletOf<ScalarSet, 12>;
using Wavelet16Taps = FixedTapsWaveletOf<ScalarSet, 16>;

// Taps per record: 2 as (h0, h1) twice; 4 plain; 6 padded to 8; 8 plain; 10 and 12 padded
// to 12. There is no 16-tap member: the factory uses SseWaveletNTapsF32 for 16 taps.
using SseWavelet2TapsF32 = FixedTapsWaveletOf<sse::Sse42Set, 2>;
using SseWavelet4TapsF32 = FixedTapsWaveletOf<sse::Sse42Set, 4>;
using SseWavelet6TapsF32 = FixedTapsWaveletOf<sse::Sse42Set, 6>;
using SseWavelet8TapsF32 = FixedTapsWaveletOf<sse::Sse42Set, 8>;
using SseWavelet10TapsF32 = FixedTapsWaveletOf<sse::Sse42Set, 10>;
using SseWavelet12TapsF32 = FixedTapsWaveletOf<sse::Sse42Set, 12>;

// Taps per record: 2 four times; 4 twice; 6 padded to 8; 8 plain; 10 and 12 padded to 16; 16.
using AvxWavelet2TapsF32 = FixedTapsWaveletOf<avx::Avx2FmaSet, 2>;
using AvxWavelet4TapsF32 = FixedTapsWaveletOf<avx::Avx2FmaSet, 4>;
using AvxWavelet6TapsF32 = FixedTapsWaveletOf<avx::Avx2FmaSet, 6>;
using AvxWavelet8TapsF32 = FixedTapsWaveletOf<avx::Avx2FmaSet, 8>;
using AvxWavelet10TapsF32 = FixedTapsWaveletOf<avx::Avx2FmaSet, 10>;
using AvxWavelet12TapsF32 = FixedTapsWaveletOf<avx::Avx2FmaSet, 12>;
using AvxWavelet16TapsF32 = FixedTapsWaveletOf<avx::Avx2FmaSet, 16>;

using WaveletNTaps = NTapsWavelet<NTapsKernel<ScalarSet>>;
using SseWaveletNTapsF32 = NTapsWavelet<NTapsKernel<sse::Sse42Set>>;
using AvxWaveletNTapsF32 = NTapsWavelet<NTapsKernel<avx::Avx2FmaSet>>;

}  // namespace vibrel
