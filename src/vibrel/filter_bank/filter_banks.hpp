#pragma once

// Every orthogonal filter-bank executor, by the name the factory uses. Each is an
// IncompleteDwtExecutor<f32> constructed as X(BorderMode mode, std::span<const f32> low_pass).
// The Sse and Avx members may only be built and run when has_sse_tier() / has_avx_tier().

#include "vibrel/avx/fixed_taps_f32.hpp"
#include "vibrel/avx/wavelet_n_taps_f32.hpp"
#include "vibrel/filter_bank/fixed_taps.hpp"
#include "vibrel/filter_bank/fixed_taps_kernel.hpp"
#include "vibrel/sse/fixed_taps_f32.hpp"
#include "vibrel/sse/wavelet_n_taps_f32.hpp"
#include "vibrel/filter_bank/wavelet_n_taps.hpp"
#include "vibrel/filter_bank/wavelet_n_taps_kernel.hpp"

namespace vibrel {

using Wavelet2Taps = FixedTapsWavelet<ScalarFixedTapsKernel<2>>;
using Wavelet4Taps = FixedTapsWavelet<ScalarFixedTapsKernel<4>>;
using Wavelet6Taps = FixedTapsWavelet<ScalarFixedTapsKernel<6>>;
using Wavelet8Taps = FixedTapsWavelet<ScalarFixedTapsKernel<8>>;
using Wavelet10Taps = FixedTapsWavelet<ScalarFixedTapsKernel<10>>;
using Wavelet12Taps = FixedTapsWavelet<ScalarFixedTapsKernel<12>>;
using Wavelet16Taps = FixedTapsWavelet<ScalarFixedTapsKernel<16>>;

// Taps per record: 2 as (h0, h1) twice; 4 plain; 6 padded to 8; 8 plain; 10 and 12 padded
// to 12. There is no 16-tap member: the factory uses SseWaveletNTapsF32 for 16 taps.
using SseWavelet2TapsF32 = FixedTapsWavelet<sse::FixedTapsKernel<2>>;
using SseWavelet4TapsF32 = FixedTapsWavelet<sse::FixedTapsKernel<4>>;
using SseWavelet6TapsF32 = FixedTapsWavelet<sse::FixedTapsKernel<6>>;
using SseWavelet8TapsF32 = FixedTapsWavelet<sse::FixedTapsKernel<8>>;
using SseWavelet10TapsF32 = FixedTapsWavelet<sse::FixedTapsKernel<10>>;
using SseWavelet12TapsF32 = FixedTapsWavelet<sse::FixedTapsKernel<12>>;

// Taps per record: 2 four times; 4 twice; 6 padded to 8; 8 plain; 10 and 12 padded to 16; 16.
using AvxWavelet2TapsF32 = FixedTapsWavelet<avx::FixedTapsKernel<2>>;
using AvxWavelet4TapsF32 = FixedTapsWavelet<avx::FixedTapsKernel<4>>;
using AvxWavelet6TapsF32 = FixedTapsWavelet<avx::FixedTapsKernel<6>>;
using AvxWavelet8TapsF32 = FixedTapsWavelet<avx::FixedTapsKernel<8>>;
using AvxWavelet10TapsF32 = FixedTapsWavelet<avx::FixedTapsKernel<10>>;
using AvxWavelet12TapsF32 = FixedTapsWavelet<avx::FixedTapsKernel<12>>;
using AvxWavelet16TapsF32 = FixedTapsWavelet<avx::FixedTapsKernel<16>>;

using WaveletNTaps = NTapsWavelet<ScalarNTapsKernel>;
using SseWaveletNTapsF32 = NTapsWavelet<sse::NTapsKernel>;
using AvxWaveletNTapsF32 = NTapsWavelet<avx::NTapsKernel>;

// Defined once, in fixed_taps.cpp and wavelet_n_taps.cpp (scalar code only).
extern template class FixedTapsWavelet<ScalarFixedTapsKernel<2>>;
extern template class FixedTapsWavelet<ScalarFixedTapsKernel<4>>;
extern template class FixedTapsWavelet<ScalarFixedTapsKernel<6>>;
extern template class FixedTapsWavelet<ScalarFixedTapsKernel<8>>;
extern template class FixedTapsWavelet<ScalarFixedTapsKernel<10>>;
extern template class FixedTapsWavelet<ScalarFixedTapsKernel<12>>;
extern template class FixedTapsWavelet<ScalarFixedTapsKernel<16>>;
extern template class FixedTapsWavelet<sse::FixedTapsKernel<2>>;
extern template class FixedTapsWavelet<sse::FixedTapsKernel<4>>;
extern template class FixedTapsWavelet<sse::FixedTapsKernel<6>>;
extern template class FixedTapsWavelet<sse::FixedTapsKernel<8>>;
extern template class FixedTapsWavelet<sse::FixedTapsKernel<10>>;
extern template class FixedTapsWavelet<sse::FixedTapsKernel<12>>;
extern template class FixedTapsWavelet<avx::FixedTapsKernel<2>>;
extern template class FixedTapsWavelet<avx::FixedTapsKernel<4>>;
extern template class FixedTapsWavelet<avx::FixedTapsKernel<6>>;
extern template class FixedTapsWavelet<avx::FixedTapsKernel<8>>;
extern template class FixedTapsWavelet<avx::FixedTapsKernel<10>>;
extern template class FixedTapsWavelet<avx::FixedTapsKernel<12>>;
extern template class FixedTapsWavelet<avx::FixedTapsKernel<16>>;
extern template class NTapsWavelet<ScalarNTapsKernel>;
extern template class NTapsWavelet<sse::NTapsKernel>;
extern template class NTapsWavelet<avx::NTapsKernel>;

}  // namespace vibrel
