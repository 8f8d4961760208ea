#pragma once

#include <cmath>
#include <cstdint>

#include "predictive/predictors.hpp"

namespace tessarine::predictive {

// Read this first: the decoder returns F::narrow(p + q * step) for every coded sample, with p
// predicted from earlier reconstructions. The encoder computes exactly that value (the same
// inline function, no contraction into FMAs) and checks it against the bound in exact
// arithmetic, so the bound holds by construction; a sample that fails is escaped.

struct FloatQuantiser {
  double step = 1.0;
  double inverse_step = 1.0;
  double bound = 0.0;  // the encoder's max_error; the decoder does not need it
};

// Quantisation indices stay below 2^52 in magnitude: exact as doubles, room for zigzag + 1.
inline constexpr double kFloatIndexLimit = 0x1p52;

// The bin width for a bound e > 0: 2e, shrunk by 2^-10 so that rounding a reconstruction to
// the output type seldom pushes it past the bound (costs about 0.0014 bits per sample).
inline double float_step(double bound) {
  const double step = 2.0 * bound * (1.0 - 0x1p-10);
  return step < 0x1p1000 ? step : 0x1p1000;
}

template <class F>
inline typename F::Storage reconstruct(double prediction, std::int64_t q, double step) {
  return F::narrow(prediction + static_cast<double>(q) * step);
}

// |x - y| <= bound in exact arithmetic. The rounded difference decides unless it equals the
// bound; then the sign of TwoSum's error term says on which side the exact difference lies.
inline bool within_bound(double x, double y, double bound) {
  const double d = x - y;
  const double magnitude = std::fabs(d);
  if (magnitude < bound) return true;
  if (!(magnitude == bound)) return false;
  const double y_part = d - x;
  const double x_part = d - y_part;
  const double error = (x - x_part) + (-y - y_part);  // x - y == d + error exactly
  if (error == 0.0) return true;
  return d > 0.0 ? error < 0.0 : (d < 0.0 && error > 0.0);
}

// Sets `code` and the reconstruction `y` (as a double) when x can be coded within the bound.
template <class F>
inline bool quantise(double x, double prediction, const FloatQuantiser& fq, std::uint64_t& code,
                     double& y) {
  const double t = (x - prediction) * fq.inverse_step;
  if (!(std::fabs(t) < kFloatIndexLimit)) return false;  // also NaN and infinite x
  auto q = static_cast<std::int64_t>(t < 0.0 ? t - 0.5 : t + 0.5);
  y = F::widen(reconstruct<F>(prediction, q, fq.step));
  if (!within_bound(x, y, fq.bound)) [[unlikely]] {
    // Rounding to the output type pushed y out; the neighbouring bin on x's side may fit.
    q += x > y ? 1 : -1;
    y = F::widen(reconstruct<F>(prediction, q, fq.step));
    if (!within_bound(x, y, fq.bound)) return false;
  }
  code = zigzag(q) + 1;
  return true;
}

// What the predictors see after an escaped sample: the value itself when finite, else the
// prediction when finite, else zero. Both sides know all three.
inline double escaped_history(double value, double prediction) {
  if (std::isfinite(value)) return value;
  return std::isfinite(prediction) ? prediction : 0.0;
}

}  // namespace tessarine::predictive
