#include "vibrel/filter_bank/wavelet_n_taps.hpp"

#include <algorithm>

#include "vibrel/zeroed_vector.hpp"
#include "vibrel/filter_bank/arena_writer.hpp"
#include "vibrel/avx/wavelet_n_taps_f32.hpp"
#include "vibrel/filter_bank/filter_bank_checks.hpp"
#include "vibrel/kernel/filter_bank_sizes.hpp"
#include "vibrel/sse/wavelet_n_taps_f32.hpp"
#include "vibrel/filter_bank/low_pass_to_high.hpp"
#include "vibrel/filter_bank/wavelet_n_taps_kernel.hpp"

namespace vibrel {

template <class Kernel>
NTapsWavelet<Kernel>::NTapsWavelet(BorderMode mode, std::span<const f32> low_pass)
    : low_(low_pass.begin(), low_pass.end()),
      high_(low_pass_to_high(low_pass)),
      taps_(low_pass.size()),
      mode_(mode) {}

template <class Kernel>
VibrelResult<void> NTapsWavelet<Kernel>::execute_forward(std::span<const f32> input,
                                                         std::span<f32> approximations,
                                                         std::span<f32> details) const {
  // Checked before allocating, so that a wrong call costs nothing.
  const VibrelResult<void> sizes =
      check_forward_sizes(input.size(), taps_, approximations.size(), details.size());
  if (!sizes) return sizes;
  VibrelResult<std::vector<f32>> scratch = zeroed_vector<f32>(required_scratch_size(input.size()));
  if (!scratch) return std::unexpected(scratch.error());
  return execute_forward_with_scratch(input, approximations, details, *scratch);
}

template <class Kernel>
VibrelResult<void> NTapsWavelet<Kernel>::execute_forward_with_scratch(
    std::span<const f32> input, std::span<f32> approximations, std::span<f32> details,
    std::span<f32> scratch) const {
  const VibrelResult<void> sizes =
      check_forward_sizes(input.size(), taps_, approximations.size(), details.size());
  if (!sizes) return sizes;
  const std::size_t required = required_scratch_size(input.size());
  if (scratch.size() < required) {
    return std::unexpected(VibrelError::scratch_size_mismatch(required, scratch.size()));
  }
  return convolve(input, approximations, details, scratch.first(required));
}

template <class Kernel>
VibrelResult<void> NTapsWavelet<Kernel>::convolve(std::span<const f32> input,
                                                  std::span<f32> approximations,
                                                  std::span<f32> details,
                                                  std::span<f32> arena) const {
  const std::size_t m = approximations.size();
  if (taps_ == 0) {
    std::fill(approximations.begin(), approximations.end(), 0.0f);
    std::fill(details.begin(), details.end(), 0.0f);
    return {};
  }
  if (taps_ == 1) {
    // The window of output i is the single sample 2i + 1: no extension, no arena.
    Kernel::forward(input.data() + 1, input.size() - 1, m, low_.data(), high_.data(), taps_,
                    approximations.data(), details.data());
    return {};
  }
  const std::size_t pad_left = taps_ - 2;
  const std::size_t pad_right = arena.size() - input.size() - pad_left;
  const VibrelResult<void> written = write_arena_1d(input, arena, pad_left, pad_right, mode_);
  if (!written) return written;
  Kernel::forward(arena.data(), arena.size(), m, low_.data(), high_.data(), taps_,
                  approximations.data(), details.data());
  return {};
}

template <class Kernel>
std::size_t NTapsWavelet<Kernel>::required_scratch_size(std::size_t input_length) const {
  return orthogonal_arena_length(input_length, taps_);
}

template <class Kernel>
DwtSize NTapsWavelet<Kernel>::dwt_size(std::size_t input_length) const {
  const std::size_t m = orthogonal_band_length(input_length, taps_);
  return DwtSize{m, m};
}

template <class Kernel>
VibrelResult<void> NTapsWavelet<Kernel>::execute_inverse(std::span<const f32> approximations,
                                                         std::span<const f32> details,
                                                         std::span<f32> output) const {
  const VibrelResult<void> sizes =
      check_inverse_sizes(approximations.size(), details.size(), output.size(), taps_);
  if (!sizes) return sizes;
  if (taps_ == 0) return {};
  Kernel::inverse(approximations.data(), details.data(), approximations.size(), low_.data(),
                  high_.data(), taps_, output.data(), output.size());
  return {};
}

template <class Kernel>
std::size_t NTapsWavelet<Kernel>::idwt_size(DwtSize size) const {
  return orthogonal_output_length(size.approximation_length, taps_);
}

template <class Kernel>
std::size_t NTapsWavelet<Kernel>::filter_length() const {
  return taps_;
}

template class NTapsWavelet<ScalarNTapsKernel>;
template class NTapsWavelet<sse::NTapsKernel>;
template class NTapsWavelet<avx::NTapsKernel>;

}  // namespace vibrel
