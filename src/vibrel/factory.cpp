#include "vibrel/factory.hpp"

#include <memory>
#include <vector>

#include "vibrel/lifting/cdf53f.hpp"
#include "vibrel/lifting/cdf97f.hpp"
#include "vibrel/filter_bank/completed_dwt_executor.hpp"
#include "vibrel/filter_bank/filter_banks.hpp"
#include "vibrel/vibrel.hpp"

namespace vibrel {
namespace {

template <class Scalar, class Sse, class Avx>
IncompleteDwtHandle<f32> build(CpuTier tier, BorderMode mode, std::span<const f32> taps) {
  switch (tier) {
    case CpuTier::Avx:
      return std::make_shared<const Avx>(mode, taps);
    case CpuTier::Sse:
      return std::make_shared<const Sse>(mode, taps);
    case CpuTier::Scalar:
      break;
  }
  return std::make_shared<const Scalar>(mode, taps);
}

// The lifting transforms have no SSE implementation: that tier gets the scalar one.
template <class Scalar, class Avx>
DwtHandle<f32> build_lifting(CpuTier tier) {
  if (tier == CpuTier::Avx) return std::make_shared<const Avx>();
  return std::make_shared<const Scalar>();
}

}  // namespace

IncompleteDwtHandle<f32> make_generic_filter_bank_for_tier(CpuTier tier, BorderMode mode,
                                                           std::span<const f32> taps) {
  return build<WaveletNTaps, SseWaveletNTapsF32, AvxWaveletNTapsF32>(tier, mode, taps);
}

IncompleteDwtHandle<f32> make_filter_bank_for_tier(CpuTier tier, BorderMode mode,
                                                   std::span<const f32> taps) {
  switch (taps.size()) {
    case 2:
      return build<Wavelet2Taps, SseWavelet2TapsF32, AvxWavelet2TapsF32>(tier, mode, taps);
    case 4:
      return build<Wavelet4Taps, SseWavelet4TapsF32, AvxWavelet4TapsF32>(tier, mode, taps);
    case 6:
      return build<Wavelet6Taps, SseWavelet6TapsF32, AvxWavelet6TapsF32>(tier, mode, taps);
    case 8:
      return build<Wavelet8Taps, SseWavelet8TapsF32, AvxWavelet8TapsF32>(tier, mode, taps);
    case 10:
      return build<Wavelet10Taps, SseWavelet10TapsF32, AvxWavelet10TapsF32>(tier, mode, taps);
    case 12:
      return build<Wavelet12Taps, SseWavelet12TapsF32, AvxWavelet12TapsF32>(tier, mode, taps);
    case 16:
      // There is no dedicated 16-tap SSE executor; the generic one serves that tier.
      return build<Wavelet16Taps, SseWaveletNTapsF32, AvxWavelet16TapsF32>(tier, mode, taps);
    default:
      return make_generic_filter_bank_for_tier(tier, mode, taps);
  }
}

DwtHandle<f32> make_cdf53_for_tier(CpuTier tier) { return build_lifting<Cdf53, AvxCdf53>(tier); }

DwtHandle<f32> make_cdf97_for_tier(CpuTier tier) { return build_lifting<Cdf97, AvxCdf97>(tier); }

DwtHandle<f32> make_orthogonal_for_tier(CpuTier tier, std::span<const double> taps,
                                        BorderMode mode) {
  // The f64 tables become f32 (round to nearest even) only here, in a temporary the executor
  // copies from.
  const std::vector<f32> converted(taps.begin(), taps.end());
  IncompleteDwtHandle<f32> inner = make_filter_bank_for_tier(tier, mode, converted);
  const std::size_t filter_length = inner->filter_length();
  return std::make_shared<const CompletedDwtExecutor>(std::move(inner), filter_length);
}

#define TESSARINE_FIXED_TAPS_CONSTRUCTOR(N)                                               \
  IncompleteDwtHandle<f32> DwtFactory<f32>::wavelet_##N##_taps(                           \
      BorderMode mode, const std::array<f32, N>& taps) {                                  \
    return make_filter_bank_for_tier(detected_tier(), mode, taps);                        \
  }
TESSARINE_FIXED_TAPS_CONSTRUCTOR(2)
TESSARINE_FIXED_TAPS_CONSTRUCTOR(4)
TESSARINE_FIXED_TAPS_CONSTRUCTOR(6)
TESSARINE_FIXED_TAPS_CONSTRUCTOR(8)
TESSARINE_FIXED_TAPS_CONSTRUCTOR(10)
TESSARINE_FIXED_TAPS_CONSTRUCTOR(12)
TESSARINE_FIXED_TAPS_CONSTRUCTOR(16)
#undef TESSARINE_FIXED_TAPS_CONSTRUCTOR

IncompleteDwtHandle<f32> DwtFactory<f32>::wavelet_n_taps(BorderMode mode,
                                                         std::span<const f32> taps) {
  return make_generic_filter_bank_for_tier(detected_tier(), mode, taps);
}

DwtHandle<f32> Vibrel::make_cdf53_f32() { return make_cdf53_for_tier(detected_tier()); }

DwtHandle<f32> Vibrel::make_cdf97_f32() { return make_cdf97_for_tier(detected_tier()); }

DwtHandle<f32> Vibrel::make_daubechies_f32(DaubechiesWavelet wavelet, BorderMode border_mode) {
  return make_orthogonal_for_tier(detected_tier(), daubechies_taps(wavelet), border_mode);
}

DwtHandle<f32> Vibrel::make_symlet_f32(SymletWavelet wavelet, BorderMode border_mode) {
  return make_orthogonal_for_tier(detected_tier(), symlet_taps(wavelet), border_mode);
}

}  // namespace vibrel
