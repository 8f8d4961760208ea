#include "vibrel/filter_bank/fixed_taps.hpp"

#include "vibrel/filter_bank/low_pass_to_high.hpp"
#include "vibrel/kernel/filter_bank_kernels.hpp"
#include "vibrel/kernel/filter_bank_layout.hpp"

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
    : OrthogonalFilterBank(kTaps, Scratch::None),
      mode_(mode),
      low_(arrange_taps<kTaps, Kernel::kLayout>(exactly_n_taps<kTaps>(low_pass))),
      high_(
          arrange_taps<kTaps, Kernel::kLayout>(low_pass_to_high(exactly_n_taps<kTaps>(low_pass)))) {
}

template <class Kernel>
VibrelResult<void> FixedTapsWavelet<Kernel>::analyse(std::span<const f32> input,
                                                     std::span<f32> approximations,
                                                     std::span<f32> details,
                                                     std::span<f32>) const {
  Kernel::forward(input.data(), input.size(), low_.data(), high_.data(), mode_,
                  approximations.data(), details.data());
  return {};
}

template <class Kernel>
void FixedTapsWavelet<Kernel>::synthesise(std::span<const f32> approximations,
                                          std::span<const f32> details,
                                          std::span<f32> output) const {
  Kernel::inverse(approximations.data(), details.data(), approximations.size(), low_.data(),
                  high_.data(), output.data());
}

// The executors of every kernel the factory uses (filter_banks.hpp names them).
#define VIBREL_FIXED_TAPS_WAVELETS(Set)                        \
  template class FixedTapsWavelet<FixedTapsKernel<Set, 2>>;    \
  template class FixedTapsWavelet<FixedTapsKernel<Set, 4>>;    \
  template class FixedTapsWavelet<FixedTapsKernel<Set, 6>>;    \
  template class FixedTapsWavelet<FixedTapsKernel<Set, 8>>;    \
  template class FixedTapsWavelet<FixedTapsKernel<Set, 10>>;   \
  template class FixedTapsWavelet<FixedTapsKernel<Set, 12>>
VIBREL_FIXED_TAPS_WAVELETS(ScalarSet);
VIBREL_FIXED_TAPS_WAVELETS(sse::Sse42Set);
VIBREL_FIXED_TAPS_WAVELETS(avx::Avx2FmaSet);
template class FixedTapsWavelet<FixedTapsKernel<ScalarSet, 16>>;
template class FixedTapsWavelet<FixedTapsKernel<avx::Avx2FmaSet, 16>>;

}  // namespace vibrel
