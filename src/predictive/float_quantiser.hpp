#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "predictive/predictors.hpp"

namespace tessarine::predictive {

// Read this first: the decoder returns the rounding of a reconstruction for every coded
// sample, with p predicted from earlier reconstructions. The encoder computes exactly that value (the same
// inline functions, no contraction into FMAs) and checks it against the bound in exact
// arithmetic, so the bound holds by construction; a sample that fails is escaped.

// The per-sample steps: inlined into each predictor's loop, whatever GCC's size heuristics say.
#define TESSARINE_INLINE __attribute__((always_inline))

// The bin width for a bound e > 0: 2e, shrunk by 2^-10 so that rounding a reconstruction to
// the output type seldom pushes it past the bound (costs about 0.0014 bits per sample).
inline double float_step(double bound) {
  const double step = 2.0 * bound * (1.0 - 0x1p-10);
  return step < 0x1p1000 ? step : 0x1p1000;
}

// |x - y| <= bound in exact arithmetic. The rounded difference decides unless it equals the
// bound; then the sign of TwoSum's error term says on which side the exact difference lies.
// A bound of 0 is lossless: a zero must keep its sign too.
TESSARINE_INLINE inline bool within_bound(double x, double y, double bound) {
  const double d = x - y;
  const double magnitude = std::fabs(d);
  if (magnitude < bound) return true;
  if (!(magnitude == bound)) return false;
  if (bound == 0.0) return std::signbit(x) == std::signbit(y);
  const double y_part = d - x;
  const double x_part = d - y_part;
  const double error = (x - x_part) + (-y - y_part);  // x - y == d + error exactly
  if (error == 0.0) return true;
  return d > 0.0 ? error < 0.0 : (d < 0.0 && error > 0.0);
}

// Nearest whole number (ties away from zero) for |t| < 2^52; branch-free, since the sign of a
// residual is a coin toss.
TESSARINE_INLINE inline std::int64_t round_index(double t) {
  return static_cast<std::int64_t>(t + std::copysign(0.5, t));
}

// Bins of `step` centred on the prediction. The predictors continue from the unrounded
// reconstruction p + q * step (the sample is its rounding to the output type): that keeps two
// conversions out of the chain from one sample to the next.
template <class F>
struct StepQuantiser {
  double step = 1.0;
  double inverse_step = 1.0;
  double bound = 0.0;  // the encoder's max_error; the decoder does not need it

  TESSARINE_INLINE double unrounded(double prediction, std::int64_t q) const {
    return prediction + static_cast<double>(q) * step;
  }

  // Sets the code, the unrounded reconstruction `next` and the sample's value `y` when x can be
  // coded within the bound: the nearest bin (|t| < 2^51, so adding and removing 1.5 * 2^52
  // rounds it to an integer), else its neighbour on x's side, since rounding to the output type
  // may push the first out.
  TESSARINE_INLINE bool quantise(double x, double prediction, std::uint64_t& code, double& next,
                                 double& y) const {
    const double t = (x - prediction) * inverse_step;
    if (!(std::fabs(t) < 0x1p51)) return false;  // also NaN and infinite x
    double q = (t + 0x1.8p52) - 0x1.8p52;
    next = prediction + q * step;
    y = F::widen(F::narrow(next));
    if (!within_bound(x, y, bound)) [[unlikely]] {
      q += x > y ? 1.0 : -1.0;
      next = prediction + q * step;
      y = F::widen(F::narrow(next));
      if (!within_bound(x, y, bound)) return false;
    }
    code = zigzag(static_cast<std::int64_t>(q)) + 1;
    return true;
  }

  // For estimates: the code and `next` of quantise, without the check against the bound (which
  // moves about one sample in a thousand to the neighbouring bin, and escapes fewer still).
  TESSARINE_INLINE bool estimate(double x, double prediction, std::uint64_t& code, double& next) const {
    const double t = (x - prediction) * inverse_step;
    if (!(std::fabs(t) < 0x1p51)) return false;  // also NaN and infinite x
    const double q = (t + 0x1.8p52) - 0x1.8p52;
    next = prediction + q * step;
    code = zigzag(static_cast<std::int64_t>(q)) + 1;
    return true;
  }
};

// Bins of `multiple` grid steps on the grid origin + N * spacing (grid_step.hpp). Prediction
// runs on the whole grid indices N of earlier reconstructions, exactly, so reconstructions
// stay on the grid and nothing builds up from sample to sample; each sample's value is the
// one rounding of origin + N * spacing to the output type.
template <class F>
struct GridQuantiser {
  // Indices are kept within +-2^52 (clamped on both sides), so predictions fit easily.
  static constexpr std::int64_t kIndexLimit = std::int64_t{1} << 52;

  double origin = 0.0;
  double spacing = 1.0;
  double inverse_spacing = 1.0;
  std::int64_t multiple = 1;  // odd, below 2^31
  double inverse_multiple = 1.0;
  std::int64_t limit = kIndexLimit;  // |q| * multiple <= 2^52
  double bound = 0.0;

  // x's nearest grid index; false when x is not finite or far off the grid.
  TESSARINE_INLINE bool index_of(double x, std::int64_t& n) const {
    const double t = (x - origin) * inverse_spacing;
    if (!(std::fabs(t) < 0x1p52)) return false;
    n = round_index(t);
    return true;
  }
  TESSARINE_INLINE std::int64_t advance(std::int64_t prediction, std::int64_t q) const {
    return std::clamp(prediction + q * multiple, -kIndexLimit, kIndexLimit);
  }
  TESSARINE_INLINE typename F::Storage value(std::int64_t n) const {
    return F::narrow(origin + static_cast<double>(n) * spacing);
  }

  // Sets the code, the reconstruction's index n and its value y when x fits the bound.
  TESSARINE_INLINE bool quantise(double x, std::int64_t prediction, std::uint64_t& code, std::int64_t& n,
                                 double& y) const {
    std::int64_t target;
    if (!index_of(x, target)) return false;
    // Bins of one grid step (a bound below half a step) need no division.
    const std::int64_t r = target - prediction;
    const std::int64_t q = multiple == 1 ? r : round_index(static_cast<double>(r) * inverse_multiple);
    if (q > limit || q < -limit) return false;
    n = advance(prediction, q);
    y = F::widen(value(n));
    if (!within_bound(x, y, bound)) return false;
    code = zigzag(q) + 1;
    return true;
  }

  // The decoder's index for a code; false when its q is beyond what the encoder writes.
  TESSARINE_INLINE bool rebuild(std::int64_t prediction, std::uint64_t code, std::int64_t& n) const {
    const std::int64_t q = unzigzag(code - 1);
    if (q > limit || q < -limit) return false;
    n = advance(prediction, q);
    return true;
  }

  // What the predictors see after an escaped sample: its index, or the prediction kept within
  // the index limit, so that no history (and no prediction from it) can overflow int64.
  TESSARINE_INLINE std::int64_t escaped_history(double value, std::int64_t prediction) const {
    std::int64_t n;
    return index_of(value, n) ? n : std::clamp(prediction, -kIndexLimit, kIndexLimit);
  }
};

// What the predictors see after an escaped sample: the value itself when finite, else the
// prediction when finite, else zero. Both sides know all three.
TESSARINE_INLINE inline double escaped_history(double value, double prediction) {
  if (std::isfinite(value)) return value;
  return std::isfinite(prediction) ? prediction : 0.0;
}

}  // namespace tessarine::predictive
