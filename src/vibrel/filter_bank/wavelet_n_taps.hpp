#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "vibrel/filter_bank/orthogonal_filter_bank.hpp"
#include "vibrel/kernel/border_mode.hpp"

namespace vibrel {

// One level of an orthogonal two-channel filter bank with any number of taps N. It copies the
// signal with its border extension into a scratch arena (N - 2 samples before the signal,
// N - 2 or N - 1 after it) and then convolves the arena; Kernel (NTapsKernel of one
// instruction set) writes the arena and does the arithmetic. The instantiations are named in
// filter_banks.hpp.
//
// N is not validated: zero taps give zero-filled bands, odd counts are computed as written.
template <class Kernel>
class NTapsWavelet final : public OrthogonalFilterBank {
 public:
  NTapsWavelet(BorderMode mode, std::span<const f32> low_pass);

 private:
  // Runs the kernel over the arena built in `scratch`.
  [[nodiscard]] VibrelResult<void> analyse(std::span<const f32> input,
                                           std::span<f32> approximations, std::span<f32> details,
                                           std::span<f32> scratch) const override;
  void synthesise(std::span<const f32> approximations, std::span<const f32> details,
                  std::span<f32> output) const override;

  std::vector<f32> low_;
  std::vector<f32> high_;
  BorderMode mode_;
};

}  // namespace vibrel
