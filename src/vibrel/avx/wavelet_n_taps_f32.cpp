#include "vibrel/avx/wavelet_n_taps_f32.hpp"

#include "vibrel/avx/taps_register.hpp"
#include "vibrel/kernel/filter_bank_kernel.hpp"

namespace vibrel::avx {

void NTapsKernel::forward(const f32* arena, std::size_t readable, std::size_t m, const f32* low,
                          const f32* high, std::size_t taps, f32* approximations, f32* details) {
  analysis_windows<TapsRegister, true>(arena, readable, m, low, high, taps, approximations,
                                       details);
}

void NTapsKernel::inverse(const f32* approximations, const f32* details, std::size_t m,
                          const f32* low, const f32* high, std::size_t taps, f32* output,
                          std::size_t output_length) {
  generic_inverse<TapsRegister, true>(approximations, details, m, low, high, taps, output,
                                      output_length);
}

}  // namespace vibrel::avx
