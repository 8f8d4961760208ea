#pragma once

#include <cstddef>

#include "vibrel/dwt.hpp"

namespace vibrel {

// One lifting step of a scheme. A predict adds the scaled sum of the two neighbouring
// approximation samples to a detail; an update adds the scaled sum of the two neighbouring
// details to an approximation sample. Both ends mirror (whole-sample symmetric extension).
struct LiftingStep {
  enum class Kind { Predict, Update };
  Kind kind;
  f32 coefficient;
};

// A scheme is a type with these static members (see Cdf53Scheme and Cdf97Scheme):
//   kMinLength      shortest signal one level decomposes; dwt_size and idwt_size never
//                   report less than its bands and length
//   kMinDetails     details length of a kMinLength signal
//   kFilterLength   published filter_length
//   kSteps          forward lifting steps in order, the inverse runs them backwards with
//                   exactly negated coefficients
//   kScaled         whether the bands are scaled after the last step, by
//                   kApproximationScale / kDetailsScale forward and kInverseApproximationScale
//                   / kInverseDetailsScale before the inverse steps
//
// The steps alternate, starting with a predict (it reads the signal while splitting it) and
// ending with an update, so each step reads exactly what the previous one wrote.
template <class Scheme>
constexpr bool steps_alternate() {
  const auto& steps = Scheme::kSteps;
  if (steps.size() < 2 || steps.size() % 2 != 0) return false;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const auto expected = i % 2 == 0 ? LiftingStep::Kind::Predict : LiftingStep::Kind::Update;
    if (steps[i].kind != expected) return false;
  }
  return true;
}

// The inverse can read the caller's details directly unless a step other than the final
// predict rewrites them.
template <class Scheme>
constexpr bool inverse_rewrites_details() {
  return Scheme::kScaled || Scheme::kSteps.size() > 2;
}

}  // namespace vibrel
