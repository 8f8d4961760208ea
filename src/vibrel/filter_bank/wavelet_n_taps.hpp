#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "vibrel/kernel/border_mode.hpp"
#include "vibrel/executor.hpp"

namespace vibrel {

// One level of an orthogonal two-channel filter bank with any number of taps N. It copies the
// signal with its border extension into a scratch arena (N - 2 samples before the signal,
// N - 2 or N - 1 after it) and then convolves the arena; Kernel (scalar, SSE or AVX) does the
// arithmetic. The instantiations are named in filter_banks.hpp.
//
// N is not validated: zero taps give zero-filled bands, odd counts are computed as written.
template <class Kernel>
class NTapsWavelet final : public IncompleteDwtExecutor<f32> {
 public:
  NTapsWavelet(BorderMode mode, std::span<const f32> low_pass);

  // Allocates the scratch arena for the call.
  [[nodiscard]] VibrelResult<void> execute_forward(std::span<const f32> input,
                                                   std::span<f32> approximations,
                                                   std::span<f32> details) const override;
  // Uses the first required_scratch_size(n) samples of `scratch`; a shorter one is an error.
  [[nodiscard]] VibrelResult<void> execute_forward_with_scratch(
      std::span<const f32> input, std::span<f32> approximations, std::span<f32> details,
      std::span<f32> scratch) const override;
  [[nodiscard]] std::size_t required_scratch_size(std::size_t input_length) const override;
  [[nodiscard]] DwtSize dwt_size(std::size_t input_length) const override;
  // Adds the synthesis into `output`, which callers zero-fill first.
  [[nodiscard]] VibrelResult<void> execute_inverse(std::span<const f32> approximations,
                                                   std::span<const f32> details,
                                                   std::span<f32> output) const override;
  [[nodiscard]] std::size_t idwt_size(DwtSize size) const override;
  [[nodiscard]] std::size_t filter_length() const override;

 private:
  // Runs the kernel over the arena built in `scratch` (already checked to be long enough).
  [[nodiscard]] VibrelResult<void> convolve(std::span<const f32> input,
                                            std::span<f32> approximations, std::span<f32> details,
                                            std::span<f32> scratch) const;

  std::vector<f32> low_;
  std::vector<f32> high_;
  std::size_t taps_;
  BorderMode mode_;
};

}  // namespace vibrel
