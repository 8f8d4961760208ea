#include "vibrel/filter_bank/fixed_taps_kernel.hpp"

#include "vibrel/kernel/filter_bank_kernel.hpp"

namespace vibrel {

template <std::size_t N>
void ScalarFixedTapsKernel<N>::forward(const f32* input, std::size_t n, const f32* low,
                                       const f32* high, BorderMode mode, f32* approximations,
                                       f32* details) {
  fixed_forward<NoVector, N, kLayout>(input, n, low, high, mode, approximations, details);
}

template <std::size_t N>
void ScalarFixedTapsKernel<N>::inverse(const f32* approximations, const f32* details, std::size_t m,
                                       const f32* low, const f32* high, f32* output) {
  synthesis_pairs<NoVector, false>(approximations, details, orthogonal_output_length(m, N) / 2, low,
                                   high, TapCount<N>{}, output);
}

template struct ScalarFixedTapsKernel<2>;
template struct ScalarFixedTapsKernel<4>;
template struct ScalarFixedTapsKernel<6>;
template struct ScalarFixedTapsKernel<8>;
template struct ScalarFixedTapsKernel<10>;
template struct ScalarFixedTapsKernel<12>;
template struct ScalarFixedTapsKernel<16>;

}  // namespace vibrel
