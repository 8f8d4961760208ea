#pragma once

#include <cstddef>
#include <span>

#include "vibrel/executor.hpp"

namespace vibrel {

// What the fixed-length and the generic filter bank share: the size rules of an orthogonal
// two-channel filter bank with `taps` taps, the checks every call makes before anything is
// written, and the scratch: the padded arena for executors that convolve one, else none. A
// derived executor supplies the two kernel calls.
class OrthogonalFilterBank : public IncompleteDwtExecutor<f32> {
 public:
  // Allocates the scratch the executor needs, if any, for the call.
  [[nodiscard]] VibrelResult<void> execute_forward(std::span<const f32> input,
                                                   std::span<f32> approximations,
                                                   std::span<f32> details) const final;
  // Uses the first required_scratch_size(n) samples of `scratch`; a shorter one is an error.
  [[nodiscard]] VibrelResult<void> execute_forward_with_scratch(
      std::span<const f32> input, std::span<f32> approximations, std::span<f32> details,
      std::span<f32> scratch) const final;
  [[nodiscard]] std::size_t required_scratch_size(std::size_t input_length) const final;
  [[nodiscard]] DwtSize dwt_size(std::size_t input_length) const final;
  // Adds the synthesis into `output`, which callers zero-fill first.
  [[nodiscard]] VibrelResult<void> execute_inverse(std::span<const f32> approximations,
                                                   std::span<const f32> details,
                                                   std::span<f32> output) const final;
  [[nodiscard]] std::size_t idwt_size(DwtSize size) const final;
  [[nodiscard]] std::size_t filter_length() const final { return taps_; }

 protected:
  enum class Scratch : bool { None, PaddedArena };
  OrthogonalFilterBank(std::size_t taps, Scratch scratch) : taps_(taps), scratch_(scratch) {}
  [[nodiscard]] std::size_t taps() const { return taps_; }

 private:
  // The kernel calls, on sizes already checked; `scratch` is exactly required_scratch_size(n).
  [[nodiscard]] virtual VibrelResult<void> analyse(std::span<const f32> input,
                                                   std::span<f32> approximations,
                                                   std::span<f32> details,
                                                   std::span<f32> scratch) const = 0;
  virtual void synthesise(std::span<const f32> approximations, std::span<const f32> details,
                          std::span<f32> output) const = 0;

  std::size_t taps_;
  Scratch scratch_;
};

}  // namespace vibrel
