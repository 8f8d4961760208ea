#pragma once

#include <cstddef>

#include "vibrel/error.hpp"

namespace vibrel {

// Size checks of every orthogonal filter bank with `taps` taps, in the order their errors are
// reported. Nothing is written before they pass.

// InputTooShort (n, N), then HalfSizeMismatch for the approximation band, then for the details.
[[nodiscard]] VibrelResult<void> check_forward_sizes(std::size_t input_length, std::size_t taps,
                                                     std::size_t approximations_length,
                                                     std::size_t details_length);

// ApproxDetailsMismatch (a, d), then OutputSizeMismatch (given, 2m - N + 2).
[[nodiscard]] VibrelResult<void> check_inverse_sizes(std::size_t approximations_length,
                                                     std::size_t details_length,
                                                     std::size_t output_length, std::size_t taps);

}  // namespace vibrel
