#include "codec/normalize.hpp"

#include <bit>
#include <cmath>
#include <cstddef>
#include <limits>

namespace tessarine {

SampleRange sanitize_and_range(std::span<const float> input, std::span<float> out) {
  constexpr float kInf = std::numeric_limits<float>::infinity();
  float lo = kInf;
  float hi = -kInf;
  const std::size_t n = input.size();
  for (std::size_t i = 0; i < n; ++i) {
    float x = input[i];
    x = x != x ? 0.0f : x;  // NaN
    x = x == kInf ? 1.0f : x;
    x = x == -kInf ? 0.0f : x;
    out[i] = x;
    lo = x < lo ? x : lo;
    hi = x > hi ? x : hi;
  }
  return {lo, hi};
}

Normalization normalize(std::span<float> samples, SampleRange range) {
  const float d = range.max - range.min;
  if (!(d > std::bit_cast<float>(kFlatRangeBits))) {
    for (float& x : samples) x = 0.0f;
    return {range.min, range.max, 0.0f};
  }
  const float r = 1.0f / d;
  const float lo = range.min;
  for (float& x : samples) x = (x - lo) * r;
  // Strictly sequential: a reassociated (vectorised) sum would change the stored mean.
  float sum = 0.0f;
  for (const float x : samples) sum += x;
  const float mean = sum / static_cast<float>(samples.size());
  for (float& x : samples) x -= mean;
  return {range.min, range.max, mean};
}

void denormalize(std::span<float> samples, const Normalization& values) {
  const float range = values.max - values.min;
  const float mean = values.mean;
  const float lo = values.min;
  for (float& y : samples) y = (y + mean) * range + lo;
}

}  // namespace tessarine
