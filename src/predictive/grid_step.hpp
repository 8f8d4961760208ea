#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace tessarine::predictive {

// Recorded signals are often an ADC's integers times a gain: every sample is origin + g * n,
// give or take the float type's rounding. Then bins of an odd number m of grid steps
// reconstruct on the grid, off by at most (m-1)/2 steps: a wider bin than 2e where e falls
// short of a whole number of half-steps, and lossless where e < g/2. Each reconstruction is
// still checked against the bound; this only proposes the grid.

struct Grid {
  double origin = 0.0;
  double spacing = 0.0;  // 0: no grid
};

// The grid of x[0, n), judged on the blocks [b, b + block) for b = 0, every, 2 every, ...:
// g is the smallest non-zero step between neighbours there, refined over their span, and
// every step must be within 1/1000 of a multiple of g, with the type's rounding
// (`unit_roundoff`, relative) ten times finer still. Spacing 0 when there is none.
inline Grid find_grid(const double* x, std::size_t n, std::size_t block, std::size_t every,
                      double unit_roundoff) {
  double smallest = HUGE_VAL;
  double low = HUGE_VAL;
  double high = -HUGE_VAL;
  for (std::size_t begin = 0; begin < n; begin += every) {
    for (std::size_t i = begin; i < begin + block && i < n; ++i) {
      if (!std::isfinite(x[i])) return {};
      low = x[i] < low ? x[i] : low;
      high = x[i] > high ? x[i] : high;
      const double step = i > begin ? std::fabs(x[i] - x[i - 1]) : 0.0;
      if (step > 0.0 && step < smallest) smallest = step;
    }
  }
  if (!(smallest < HUGE_VAL) || !(high - low < 0x1p40 * smallest)) return {};
  const double g = (high - low) / std::nearbyint((high - low) / smallest);
  if (2.0 * std::max(std::fabs(low), std::fabs(high)) * unit_roundoff > 1e-4 * g) return {};
  const double inverse = 1.0 / g;
  for (std::size_t begin = 0; begin < n; begin += every) {
    for (std::size_t i = begin + 1; i < begin + block && i < n; ++i) {
      const double k = (x[i] - x[i - 1]) * inverse;
      if (std::fabs(k - std::nearbyint(k)) > 1e-3) return {};
    }
  }
  return {low, g};
}

// The odd number of grid steps per bin: 2j + 1 with j whole steps safely within the bound.
inline double grid_multiple(double bound, double spacing) {
  double j = std::floor(bound / spacing);
  if (j > 0.0 && j * spacing > bound * (1.0 - 1e-6)) j -= 1.0;
  return 2.0 * j + 1.0;
}

}  // namespace tessarine::predictive
