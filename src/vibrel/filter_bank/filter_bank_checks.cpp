#include "vibrel/filter_bank/filter_bank_checks.hpp"

#include "vibrel/kernel/filter_bank_sizes.hpp"

namespace vibrel {

VibrelResult<void> check_forward_sizes(std::size_t input_length, std::size_t taps,
                                       std::size_t approximations_length,
                                       std::size_t details_length) {
  if (input_length < taps) {
    return std::unexpected(VibrelError::input_too_short(input_length, taps));
  }
  const std::size_t m = orthogonal_band_length(input_length, taps);
  if (approximations_length != m) {
    return std::unexpected(VibrelError::half_size_mismatch(approximations_length));
  }
  if (details_length != m) return std::unexpected(VibrelError::half_size_mismatch(details_length));
  return {};
}

VibrelResult<void> check_inverse_sizes(std::size_t approximations_length,
                                       std::size_t details_length, std::size_t output_length,
                                       std::size_t taps) {
  if (approximations_length != details_length) {
    return std::unexpected(
        VibrelError::approx_details_mismatch(approximations_length, details_length));
  }
  const std::size_t required = orthogonal_output_length(approximations_length, taps);
  if (output_length != required) {
    return std::unexpected(VibrelError::output_size_mismatch(output_length, required));
  }
  return {};
}

}  // namespace vibrel
