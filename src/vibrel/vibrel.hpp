#pragma once

#include "vibrel/kernel/border_mode.hpp"
#include "vibrel/tables/daubechies.hpp"
#include "vibrel/executor.hpp"
#include "vibrel/tables/symlet.hpp"

namespace vibrel {

// The only way the rest of the system obtains a transform. Each constructor picks the AVX2/FMA,
// SSE4.2 or scalar implementation for the running processor once, when it builds the executor.
class Vibrel {
 public:
  [[nodiscard]] static DwtHandle<f32> make_cdf53_f32();
  [[nodiscard]] static DwtHandle<f32> make_cdf97_f32();
  [[nodiscard]] static DwtHandle<f32> make_daubechies_f32(DaubechiesWavelet wavelet,
                                                          BorderMode border_mode);
  [[nodiscard]] static DwtHandle<f32> make_symlet_f32(SymletWavelet wavelet,
                                                      BorderMode border_mode);
};

}  // namespace vibrel
