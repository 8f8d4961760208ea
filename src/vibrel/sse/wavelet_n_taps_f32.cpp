#include "vibrel/sse/wavelet_n_taps_f32.hpp"

#include "vibrel/kernel/filter_bank_kernel.hpp"
#include "vibrel/sse/taps_register.hpp"

namespace vibrel::sse {

void NTapsKernel::forward(const f32* arena, std::size_t readable, std::size_t m, const f32* low,
                          const f32* high, std::size_t taps, f32* approximations, f32* details) {
  analysis_windows<TapsRegister, false>(arena, readable, m, low, high, taps, approximations,
                                        details);
}

void NTapsKernel::inverse(const f32* approximations, const f32* details, std::size_t m,
                          const f32* low, const f32* high, std::size_t taps, f32* output,
                          std::size_t output_length) {
  generic_inverse<TapsRegister, false>(approximations, details, m, low, high, taps, output,
                                       output_length);
}

}  // namespace vibrel::sse
