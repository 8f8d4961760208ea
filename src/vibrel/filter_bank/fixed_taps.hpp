#pragma once

#include <array>
#include <cstddef>
#include <span>

#include "vibrel/filter_bank/orthogonal_filter_bank.hpp"
#include "vibrel/kernel/border_mode.hpp"

namespace vibrel {

// One level of an orthogonal two-channel filter bank with a fixed number of taps
// N = Kernel::kTaps. The executor owns the record; the kernel (FixedTapsKernel of one
// instruction set) does the arithmetic and gathers the border samples inline, so no scratch
// is needed. The instantiations are named in filter_banks.hpp.
//
// Reflect and Reflect101 map border positions exactly as the padded arena does (through
// BorderInterpolation), so fixed-length and generic executors agree in every border mode.
template <class Kernel>
class FixedTapsWavelet final : public OrthogonalFilterBank {
 public:
  static constexpr std::size_t kTaps = Kernel::kTaps;

  // `low_pass` holds the N low-pass taps; the high-pass taps are derived from them. Missing
  // taps read as zero and surplus ones are ignored, so construction cannot fail.
  FixedTapsWavelet(BorderMode mode, std::span<const f32> low_pass);

 private:
  [[nodiscard]] VibrelResult<void> analyse(std::span<const f32> input,
                                           std::span<f32> approximations, std::span<f32> details,
                                           std::span<f32> scratch) const override;
  void synthesise(std::span<const f32> approximations, std::span<const f32> details,
                  std::span<f32> output) const override;

  // Taps arranged for the kernel's registers (zero-padded, possibly repeated).
  using Taps = std::array<f32, Kernel::kLayout.stored()>;

  BorderMode mode_;
  Taps low_;
  Taps high_;
};

}  // namespace vibrel
