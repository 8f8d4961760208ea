#pragma once

#include <array>
#include <cstddef>

#include "vibrel/kernel/lifting_kernels.hpp"
#include "vibrel/lifting/lifting_executor.hpp"
#include "vibrel/lifting/lifting_scheme.hpp"

namespace vibrel {

// CDF 5/3 (LeGall 5/3): predict -0.5, update 0.25, no scaling, in floating point without
// integer rounding. All constants are exact in binary.
struct Cdf53Scheme {
  static constexpr std::size_t kMinLength = 3;
  static constexpr std::size_t kMinDetails = 1;
  static constexpr std::size_t kFilterLength = 6;
  static constexpr std::array<LiftingStep, 2> kSteps{{
      {LiftingStep::Kind::Predict, -0.5f},
      {LiftingStep::Kind::Update, 0.25f},
  }};
  static constexpr bool kScaled = false;
  static constexpr f32 kApproximationScale = 1.0f;
  static constexpr f32 kDetailsScale = 1.0f;
  static constexpr f32 kInverseApproximationScale = 1.0f;
  static constexpr f32 kInverseDetailsScale = 1.0f;
};

extern template class LiftingExecutor<Cdf53Scheme, LiftingKernels<ScalarSet>>;
extern template class LiftingExecutor<Cdf53Scheme, LiftingKernels<avx::Avx2FmaSet>>;

// Portable executor: each product is rounded before it is added.
using Cdf53 = LiftingExecutor<Cdf53Scheme, LiftingKernels<ScalarSet>>;
// AVX2/FMA executor: one fused rounding per formula. Build it only when has_avx_tier().
using AvxCdf53 = LiftingExecutor<Cdf53Scheme, LiftingKernels<avx::Avx2FmaSet>>;

}  // namespace vibrel
