#include "codec/normalize.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <limits>

namespace tessarine {

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
// Independent running minima and maxima, so that the range pass vectorises.
constexpr std::size_t kLanes = 8;

float sanitize(float x) {
  x = x != x ? 0.0f : x;  // NaN
  x = x == kInf ? 1.0f : x;
  x = x == -kInf ? 0.0f : x;
  return x;
}

// +0.0 and -0.0 compare equal, so a sequential scan keeps whichever zero comes first; lanes
// cannot tell which that was and ask here.
float first_zero(std::span<const float> samples) {
  for (const float x : samples) {
    if (x == 0.0f) return x;
  }
  return 0.0f;
}

}  // namespace

SampleRange sanitize_and_range(std::span<const float> input, std::span<float> out) {
  std::array<float, kLanes> lo;
  std::array<float, kLanes> hi;
  lo.fill(kInf);
  hi.fill(-kInf);
  const std::size_t n = input.size();
  const std::size_t blocked = n - n % kLanes;
  // Distinct arrays (the caller's contract): without saying so GCC re-checks for overlap on
  // every block.
  const float* __restrict from = input.data();
  float* __restrict to = out.data();
  for (std::size_t i = 0; i < blocked; i += kLanes) {
    for (std::size_t j = 0; j < kLanes; ++j) {
      const float x = sanitize(from[i + j]);
      to[i + j] = x;
      lo[j] = x < lo[j] ? x : lo[j];
      hi[j] = x > hi[j] ? x : hi[j];
    }
  }
  SampleRange range{kInf, -kInf};
  for (std::size_t j = 0; j < kLanes; ++j) {
    range.min = lo[j] < range.min ? lo[j] : range.min;
    range.max = hi[j] > range.max ? hi[j] : range.max;
  }
  for (std::size_t i = blocked; i < n; ++i) {
    const float x = sanitize(input[i]);
    out[i] = x;
    range.min = x < range.min ? x : range.min;
    range.max = x > range.max ? x : range.max;
  }
  // Only equal values can be told apart by order, and among non-zero floats equal values
  // have equal bits: only a zero result needs the sequential answer.
  if (range.min == 0.0f) range.min = first_zero(out.first(n));
  if (range.max == 0.0f) range.max = first_zero(out.first(n));
  return range;
}

Normalization normalize(std::span<float> samples, SampleRange range) {
  const float d = range.max - range.min;
  const float r = 1.0f / d;
  // Tiny ranges are real signals (micro-strain, m/s, amperes): only a range with no usable
  // reciprocal is flat.
  if (!(d > 0.0f) || !std::isfinite(r)) {
    for (float& x : samples) x = 0.0f;
    return {range.min, range.max, 0.0f};
  }
  const float lo = range.min;
  // The sum is strictly sequential: a reassociated (vectorised) sum would change the stored
  // mean. Its chain of dependent additions sets the pace, so the scaling rides along in the
  // same loop instead of taking a pass of its own.
  float sum = 0.0f;
  for (float& x : samples) {
    x = (x - lo) * r;
    sum += x;
  }
  const float mean = sum / static_cast<float>(samples.size());
  for (float& x : samples) x -= mean;
  return {range.min, range.max, mean};
}

void denormalize(std::span<float> samples, const Normalization& values) {
  const float range = values.max - values.min;
  const float mean = values.mean;
  const float lo = values.min;
  constexpr float kLargest = std::numeric_limits<float>::max();
  // Reconstructions stay far below this in magnitude; past it an f32 product could overflow.
  constexpr double kReconstructionBound = 1e9;
  const double reach = std::abs(double{range}) * (std::abs(double{mean}) + kReconstructionBound) +
                       std::abs(double{lo});
  if (reach <= kLargest) {
    for (float& y : samples) y = std::clamp((y + mean) * range + lo, -kLargest, kLargest);
    return;
  }
  // Ranges near the f32 limit: where the f32 formula overflows (in the product or the sum),
  // the sample is worked out in double, which cannot overflow here, and rounded back. Results
  // the f32 formula gets finite are kept bit for bit.
  for (float& y : samples) {
    const float quick = (y + mean) * range + lo;
    if (std::abs(quick) <= kLargest) {
      y = quick;
      continue;
    }
    const double exact = (double{y} + mean) * range + lo;
    y = static_cast<float>(std::clamp(exact, double{-kLargest}, double{kLargest}));
  }
}

}  // namespace tessarine
