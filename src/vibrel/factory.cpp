#include "vibrel/factory.hpp"

#include <memory>
#include <type_traits>
#include <utility>
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

// The tap counts with a dedicated executor (filter_banks.hpp names them).
using FixedTapCounts = std::index_sequence<2, 4, 6, 8, 10, 12, 16>;

// There is no dedicated 16-tap SSE executor; the generic one serves that tier.
template <std::size_t N>
using SseFixedTaps =
    std::conditional_t<N == 16, SseWaveletNTapsF32, FixedTapsWaveletOf<sse::Sse42Set, N>>;

// The dedicated executor for taps.size() taps on `tier`, or none for another count.
template <std::size_t... N>
IncompleteDwtHandle<f32> build_fixed_taps(CpuTier tier, BorderMode mode, std::span<const f32> taps,
                                          std::index_sequence<N...>) {
  IncompleteDwtHandle<f32> built;
  const auto build_if = [&]<std::size_t Taps>(std::integral_constant<std::size_t, Taps>) {
    if (taps.size() != Taps) return false;
    built = build<FixedTapsWaveletOf<ScalarSet, Taps>, SseFixedTaps<Taps>,
                  FixedTapsWaveletOf<avx::Avx2FmaSet, Taps>>(tier, mode, taps);
    return true;
  };
  (build_if(std::integral_constant<std::size_t, N>{}) || ...);
  return built;
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
  if (IncompleteDwtHandle<f32> fixed = build_fixed_taps(tier, mode, taps, FixedTapCounts{})) {
    return fixed;
  }
  return make_generic_filter_bank_for_tier(tier, mode, taps);
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
