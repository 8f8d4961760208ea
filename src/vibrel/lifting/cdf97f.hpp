#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>

#include "vibrel/error.hpp"
#include "vibrel/kernel/lifting_kernels.hpp"
#include "vibrel/lifting/lifting_executor.hpp"
#include "vibrel/lifting/lifting_scheme.hpp"

namespace vibrel {

// CDF 9/7 by the Daubechies-Sweldens factorisation: predict alpha, update beta, predict
// gamma, update delta, then the approximation band times zeta and the details times 1/zeta,
// so that a constant c gives approximations c * sqrt(2). The constants are fixed by their
// bit patterns so that no compiler or library rounds them differently.
struct Cdf97Scheme {
  static constexpr f32 kAlpha = std::bit_cast<f32>(std::uint32_t{0xBFCB0673});  // -1.5861343
  static constexpr f32 kBeta = std::bit_cast<f32>(std::uint32_t{0xBD5901AE});   // -0.052980117
  static constexpr f32 kGamma = std::bit_cast<f32>(std::uint32_t{0x3F620676});  // 0.8829111
  static constexpr f32 kDelta = std::bit_cast<f32>(std::uint32_t{0x3EE31355});  // 0.44350687
  static constexpr f32 kZeta = std::bit_cast<f32>(std::uint32_t{0x3F93263D});   // 1.1496044
  static constexpr f32 kInverseZeta = std::bit_cast<f32>(std::uint32_t{0x3F5EAF70});  // 0.86986446

  static constexpr std::size_t kMinLength = 4;
  static constexpr std::size_t kMinDetails = 2;
  static constexpr std::size_t kFilterLength = 10;
  static constexpr std::array<LiftingStep, 4> kSteps{{
      {LiftingStep::Kind::Predict, kAlpha},
      {LiftingStep::Kind::Update, kBeta},
      {LiftingStep::Kind::Predict, kGamma},
      {LiftingStep::Kind::Update, kDelta},
  }};
  static constexpr bool kScaled = true;
  static constexpr f32 kApproximationScale = kZeta;
  static constexpr f32 kDetailsScale = kInverseZeta;
  static constexpr f32 kInverseApproximationScale = kInverseZeta;
  static constexpr f32 kInverseDetailsScale = kZeta;
};

extern template class LiftingExecutor<Cdf97Scheme, LiftingKernels<ScalarSet>>;
extern template class LiftingExecutor<Cdf97Scheme, LiftingKernels<avx::Avx2FmaSet>>;

// Portable executor: each product is rounded before it is added.
using Cdf97 = LiftingExecutor<Cdf97Scheme, LiftingKernels<ScalarSet>>;
// AVX2/FMA executor: one fused rounding per formula. Build it only when has_avx_tier().
using AvxCdf97 = LiftingExecutor<Cdf97Scheme, LiftingKernels<avx::Avx2FmaSet>>;

// One update step on the portable path: s[k] += (d[k-1] + d[k]) * c with d mirrored at both
// ends, the product rounded before the addition. The bands must be those of one level:
// s.size() >= 2 and d.size() equal to s.size() or s.size() - 1; anything else is refused
// before s is touched.
[[nodiscard]] VibrelResult<void> dwt97_forward_update_even(std::span<f32> approximations,
                                                           std::span<const f32> details,
                                                           f32 coefficient);

}  // namespace vibrel
