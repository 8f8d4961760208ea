#pragma once

#include <array>
#include <span>

#include "vibrel/kernel/border_mode.hpp"
#include "vibrel/cpu/cpu_tier.hpp"
#include "vibrel/executor.hpp"

namespace vibrel {

template <class T>
class DwtFactory;

// Single-level orthogonal filter banks, one constructor per tap count with a dedicated
// executor and one for any count. Each picks the AVX, SSE or scalar implementation for the
// running processor when it builds the executor; the high-pass taps are derived from `taps`.
template <>
class DwtFactory<f32> {
 public:
  [[nodiscard]] static IncompleteDwtHandle<f32> wavelet_2_taps(BorderMode mode,
                                                               const std::array<f32, 2>& taps);
  [[nodiscard]] static IncompleteDwtHandle<f32> wavelet_4_taps(BorderMode mode,
                                                               const std::array<f32, 4>& taps);
  [[nodiscard]] static IncompleteDwtHandle<f32> wavelet_6_taps(BorderMode mode,
                                                               const std::array<f32, 6>& taps);
  [[nodiscard]] static IncompleteDwtHandle<f32> wavelet_8_taps(BorderMode mode,
                                                               const std::array<f32, 8>& taps);
  [[nodiscard]] static IncompleteDwtHandle<f32> wavelet_10_taps(BorderMode mode,
                                                                const std::array<f32, 10>& taps);
  [[nodiscard]] static IncompleteDwtHandle<f32> wavelet_12_taps(BorderMode mode,
                                                                const std::array<f32, 12>& taps);
  [[nodiscard]] static IncompleteDwtHandle<f32> wavelet_16_taps(BorderMode mode,
                                                                const std::array<f32, 16>& taps);
  [[nodiscard]] static IncompleteDwtHandle<f32> wavelet_n_taps(BorderMode mode,
                                                               std::span<const f32> taps);
};

// The same choices with the tier given by the caller, so that tests can build and compare
// every implementation on one machine. Building a tier the processor lacks is allowed; running
// it is not.
[[nodiscard]] IncompleteDwtHandle<f32> make_filter_bank_for_tier(CpuTier tier, BorderMode mode,
                                                                 std::span<const f32> taps);
[[nodiscard]] IncompleteDwtHandle<f32> make_generic_filter_bank_for_tier(
    CpuTier tier, BorderMode mode, std::span<const f32> taps);
[[nodiscard]] DwtHandle<f32> make_cdf53_for_tier(CpuTier tier);
[[nodiscard]] DwtHandle<f32> make_cdf97_for_tier(CpuTier tier);
// Converts `taps` to f32, builds the filter bank and wraps it in the multi-level driver.
[[nodiscard]] DwtHandle<f32> make_orthogonal_for_tier(CpuTier tier, std::span<const double> taps,
                                                      BorderMode mode);

}  // namespace vibrel
