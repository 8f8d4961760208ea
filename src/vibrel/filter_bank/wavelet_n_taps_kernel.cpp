#include "vibrel/filter_bank/wavelet_n_taps_kernel.hpp"

#include "vibrel/kernel/filter_bank_kernel.hpp"

namespace vibrel {

void ScalarNTapsKernel::forward(const f32* arena, std::size_t readable, std::size_t m,
                                const f32* low, const f32* high, std::size_t taps,
                                f32* approximations, f32* details) {
  analysis_windows<NoVector, false>(arena, readable, m, low, high, taps, approximations, details);
}

void ScalarNTapsKernel::inverse(const f32* approximations, const f32* details, std::size_t m,
                                const f32* low, const f32* high, std::size_t taps, f32* output,
                                std::size_t output_length) {
  generic_inverse<NoVector, false>(approximations, details, m, low, high, taps, output,
                                   output_length);
}

}  // namespace vibrel
