#include "vibrel/filter_bank/fixed_taps.hpp"

#include "vibrel/avx/fixed_taps_f32.hpp"
#include "vibrel/filter_bank/filter_bank_checks.hpp"
#include "vibrel/kernel/filter_bank_layout.hpp"
#include "vibrel/kernel/filter_bank_sizes.hpp"
#include "vibrel/filter_bank/fixed_taps_kernel.hpp"
#include "vibrel/sse/fixed_taps_f32.hpp"
#include "vibrel/filter_bank/low_pass_to_high.hpp"

namespace vibrel {
namespace {

// The low-pass taps cut or zero-extended to exactly N, in their plain order.
template <std::size_t N>
[[nodiscard]] std::array<f32, N> exactly_n_taps(std::span<const f32> low_pass) {
  return arrange_taps<N, scalar_tap_layout(N)>(low_pass);
}

}  // namespace

template <class Kernel>
FixedTapsWavelet<Kernel>::FixedTapsWavelet(BorderMode mode, std::span<const f32> low_pass)
    : mode_(mode),
      low_(arrange_taps<kTaps, Kernel::kLayout>(exactly_n_taps<kTaps>(low_pass))),
      high_(
          arrange_taps<kTaps, Kernel::kLayout>(low_pass_to_high(exactly_n_taps<kTaps>(low_pass)))) {
}

template <class Kernel>
VibrelResult<void> FixedTapsWavelet<Kernel>::execute_forward(std::span<const f32> input,
                                                             std::span<f32> approximations,
                                                             std::span<f32> details) const {
  const VibrelResult<void> sizes =
      check_forward_sizes(input.size(), kTaps, approximations.size(), details.size());
  if (!sizes) return sizes;
  Kernel::forward(input.data(), input.size(), low_.data(), high_.data(), mode_,
                  approximations.data(), details.data());
  return {};
}

template <class Kernel>
VibrelResult<void> FixedTapsWavelet<Kernel>::execute_forward_with_scratch(
    std::span<const f32> input, std::span<f32> approximations, std::span<f32> details,
    std::span<f32>) const {
  return execute_forward(input, approximations, details);
}

template <class Kernel>
std::size_t FixedTapsWavelet<Kernel>::required_scratch_size(std::size_t) const {
  return 0;
}

template <class Kernel>
DwtSize FixedTapsWavelet<Kernel>::dwt_size(std::size_t input_length) const {
  const std::size_t m = orthogonal_band_length(input_length, kTaps);
  return DwtSize{m, m};
}

template <class Kernel>
VibrelResult<void> FixedTapsWavelet<Kernel>::execute_inverse(std::span<const f32> approximations,
                                                             std::span<const f32> details,
                                                             std::span<f32> output) const {
  const VibrelResult<void> sizes =
      check_inverse_sizes(approximations.size(), details.size(), output.size(), kTaps);
  if (!sizes) return sizes;
  Kernel::inverse(approximations.data(), details.data(), approximations.size(), low_.data(),
                  high_.data(), output.data());
  return {};
}

template <class Kernel>
std::size_t FixedTapsWavelet<Kernel>::idwt_size(DwtSize size) const {
  return orthogonal_output_length(size.approximation_length, kTaps);
}

template <class Kernel>
std::size_t FixedTapsWavelet<Kernel>::filter_length() const {
  return kTaps;
}

template class FixedTapsWavelet<ScalarFixedTapsKernel<2>>;
template class FixedTapsWavelet<ScalarFixedTapsKernel<4>>;
template class FixedTapsWavelet<ScalarFixedTapsKernel<6>>;
template class FixedTapsWavelet<ScalarFixedTapsKernel<8>>;
template class FixedTapsWavelet<ScalarFixedTapsKernel<10>>;
template class FixedTapsWavelet<ScalarFixedTapsKernel<12>>;
template class FixedTapsWavelet<ScalarFixedTapsKernel<16>>;
template class FixedTapsWavelet<sse::FixedTapsKernel<2>>;
template class FixedTapsWavelet<sse::FixedTapsKernel<4>>;
template class FixedTapsWavelet<sse::FixedTapsKernel<6>>;
template class FixedTapsWavelet<sse::FixedTapsKernel<8>>;
template class FixedTapsWavelet<sse::FixedTapsKernel<10>>;
template class FixedTapsWavelet<sse::FixedTapsKernel<12>>;
template class FixedTapsWavelet<avx::FixedTapsKernel<2>>;
template class FixedTapsWavelet<avx::FixedTapsKernel<4>>;
template class FixedTapsWavelet<avx::FixedTapsKernel<6>>;
template class FixedTapsWavelet<avx::FixedTapsKernel<8>>;
template class FixedTapsWavelet<avx::FixedTapsKernel<10>>;
template class FixedTapsWavelet<avx::FixedTapsKernel<12>>;
template class FixedTapsWavelet<avx::FixedTapsKernel<16>>;

}  // namespace vibrel
