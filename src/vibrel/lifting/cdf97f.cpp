#include "vibrel/lifting/cdf97f.hpp"

namespace vibrel {

template class LiftingExecutor<Cdf97Scheme, LiftingKernels<ScalarSet>>;
template class LiftingExecutor<Cdf97Scheme, LiftingKernels<avx::Avx2FmaSet>>;

VibrelResult<void> dwt97_forward_update_even(std::span<f32> approximations,
                                             std::span<const f32> details, f32 coefficient) {
  const std::size_t a = approximations.size();
  const std::size_t b = details.size();
  if (a < 2) return std::unexpected(VibrelError::input_too_short(a, 2));
  if (b != a && b != a - 1) {
    // The nearer of the two lengths a level can have.
    return std::unexpected(VibrelError::details_size_mismatch(b, b > a ? a : a - 1));
  }
  advance_update<LiftingKernels<ScalarSet>>(approximations, details, coefficient, 0, b);
  return {};
}

}  // namespace vibrel
