#pragma once

#include <cstdint>
#include <span>

namespace tessarine {

// The three values that undo the amplitude normalisation; all go into the header.
struct Normalization {
  float min;
  float max;
  float mean;
};

struct SampleRange {
  float min;
  float max;
};

// Copies `input` into `out` (same length, not overlapping) with NaN -> 0, +inf -> 1 and
// -inf -> 0, and returns the smallest and largest copied value in the same pass. An empty
// input gives {+inf, -inf}.
SampleRange sanitize_and_range(std::span<const float> input, std::span<float> out);

// Maps the sanitised samples in place to (x - min) / (max - min) minus their mean. The order
// of operations fixes the stored mean: one reciprocal of the range, then a sequential f32 sum
// in index order. A flat signal, one whose range is zero or so small that its reciprocal
// overflows, becomes all zeros with mean 0; any other range, however small, is kept. The
// range max - min must be finite (the caller refuses the rest).
Normalization normalize(std::span<float> samples, SampleRange range);

// Inverse of normalize on reconstructed samples: y -> (y + mean) * (max - min) + min in f32.
// Where that formula overflows (ranges near the f32 limit), the sample is computed in double
// and held within the finite f32 range.
void denormalize(std::span<float> samples, const Normalization& values);

}  // namespace tessarine
