#pragma once

#include <cstddef>

namespace tessarine::predictive {

// Multilevel interpolation over one chunk: anchors every kAnchorStride samples, each predicted
// from the previous anchor, then midpoints level by level (strides 32, 16, ..., 1), each
// predicted from reconstructed neighbours at +-h (linear) or +-h, +-3h (cubic, where all four
// lie in the chunk). Where no right neighbour exists, the left one is the prediction.
inline constexpr std::size_t kAnchorStride = 64;

// Mean |prediction noise| per unit of the bound (see kNoiseGain): weights |1/2,1/2| and
// |-1,9,9,-1|/16.
inline constexpr double kLinearNoiseGain = 0.33;
inline constexpr double kCubicNoiseGain = 0.37;

inline double linear_midpoint(double left, double right) { return (left + right) * 0.5; }

inline double cubic_midpoint(double far_left, double left, double right, double far_right) {
  return (9.0 * (left + right) - (far_left + far_right)) * 0.0625;
}

// Visits each of y[0, n) once in coding order: y[i] = visit(i, prediction), where the
// prediction reads only entries already visited. Encoder, decoder and estimate share it.
// Always inlined, so that the caller's counters and sums stay in registers across visits.
// Each level runs in stretches of one kind of prediction, left to right, so that the loops
// carry no test of which kind a sample needs.
template <bool kCubic, class Visit>
[[gnu::always_inline]] inline void interpolation_walk(std::size_t n, double* y, Visit&& visit) {
  double anchor = 0.0;
  for (std::size_t i = 0; i < n; i += kAnchorStride) anchor = y[i] = visit(i, anchor);
  for (std::size_t h = kAnchorStride / 2; h >= 1; h /= 2) {
    std::size_t i = h;
    if (kCubic && i + h < n) {  // the first sample has no far left neighbour
      y[i] = visit(i, linear_midpoint(y[i - h], y[i + h]));
      i += 2 * h;
    }
    for (; kCubic && i + 3 * h < n; i += 2 * h) {
      y[i] = visit(i, cubic_midpoint(y[i - 3 * h], y[i - h], y[i + h], y[i + 3 * h]));
    }
    for (; i + h < n; i += 2 * h) y[i] = visit(i, linear_midpoint(y[i - h], y[i + h]));
    for (; i < n; i += 2 * h) y[i] = visit(i, y[i - h]);
  }
}

}  // namespace tessarine::predictive
