#include "vibrel/filter_bank/orthogonal_filter_bank.hpp"

#include <vector>

#include "vibrel/filter_bank/filter_bank_checks.hpp"
#include "vibrel/kernel/filter_bank_sizes.hpp"
#include "vibrel/zeroed_vector.hpp"

namespace vibrel {

VibrelResult<void> OrthogonalFilterBank::execute_forward(std::span<const f32> input,
                                                         std::span<f32> approximations,
                                                         std::span<f32> details) const {
  const std::size_t required = required_scratch_size(input.size());
  if (required == 0) return execute_forward_with_scratch(input, approximations, details, {});
  // Checked before allocating, so that a wrong call costs nothing.
  const VibrelResult<void> sizes =
      check_forward_sizes(input.size(), taps_, approximations.size(), details.size());
  if (!sizes) return sizes;
  VibrelResult<std::vector<f32>> scratch = zeroed_vector<f32>(required);
  if (!scratch) return std::unexpected(scratch.error());
  return execute_forward_with_scratch(input, approximations, details, *scratch);
}

VibrelResult<void> OrthogonalFilterBank::execute_forward_with_scratch(
    std::span<const f32> input, std::span<f32> approximations, std::span<f32> details,
    std::span<f32> scratch) const {
  const VibrelResult<void> sizes =
      check_forward_sizes(input.size(), taps_, approximations.size(), details.size());
  if (!sizes) return sizes;
  const std::size_t required = required_scratch_size(input.size());
  if (scratch.size() < required) {
    return std::unexpected(VibrelError::scratch_size_mismatch(required, scratch.size()));
  }
  return analyse(input, approximations, details, scratch.first(required));
}

std::size_t OrthogonalFilterBank::required_scratch_size(std::size_t input_length) const {
  return scratch_ == Scratch::PaddedArena ? orthogonal_arena_length(input_length, taps_) : 0;
}

DwtSize OrthogonalFilterBank::dwt_size(std::size_t input_length) const {
  const std::size_t m = orthogonal_band_length(input_length, taps_);
  return DwtSize{m, m};
}

VibrelResult<void> OrthogonalFilterBank::execute_inverse(std::span<const f32> approximations,
                                                         std::span<const f32> details,
                                                         std::span<f32> output) const {
  const VibrelResult<void> sizes =
      check_inverse_sizes(approximations.size(), details.size(), output.size(), taps_);
  if (!sizes) return sizes;
  synthesise(approximations, details, output);
  return {};
}

std::size_t OrthogonalFilterBank::idwt_size(DwtSize size) const {
  return orthogonal_output_length(size.approximation_length, taps_);
}

}  // namespace vibrel
