#include "vibrel/avx/fixed_taps_f32.hpp"

#include "vibrel/avx/taps_register.hpp"
#include "vibrel/kernel/filter_bank_kernel.hpp"

namespace vibrel::avx {

template <std::size_t N>
void FixedTapsKernel<N>::forward(const f32* input, std::size_t n, const f32* low, const f32* high,
                                 BorderMode mode, f32* approximations, f32* details) {
  fixed_forward<TapsRegister, N, kLayout>(input, n, low, high, mode, approximations, details);
}

template <std::size_t N>
void FixedTapsKernel<N>::inverse(const f32* approximations, const f32* details, std::size_t m,
                                 const f32* low, const f32* high, f32* output) {
  synthesis_pairs<TapsRegister, true>(approximations, details, orthogonal_output_length(m, N) / 2,
                                      low, high, TapCount<N>{}, output);
}

template struct FixedTapsKernel<2>;
template struct FixedTapsKernel<4>;
template struct FixedTapsKernel<6>;
template struct FixedTapsKernel<8>;
template struct FixedTapsKernel<10>;
template struct FixedTapsKernel<12>;
template struct FixedTapsKernel<16>;

}  // namespace vibrel::avx
