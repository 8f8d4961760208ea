#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <vector>

#include "predictive/byte_io.hpp"
#include "predictive/float_quantiser.hpp"
#include "predictive/grid_step.hpp"
#include "predictive/sample_type.hpp"
#include "predictive/stream_layout.hpp"

namespace tessarine::predictive {

// Float recordings are often converter codes times a gain (a physical unit per code), each
// sample the one rounding of n * gain to the type. Then a grid whose one rounding gives back
// the samples' own bits codes them losslessly as whole grid indices, at the cost of the codes
// rather than of their float bit patterns (for the 60-second ECG, 8.6 against float32
// instead of 2.3). This finds such a grid on a sample of the signal.

// Blocks the search reads at most: spread over the signal, every 8th at the closest.
inline constexpr std::size_t kLosslessGridBlocks = 16;
// Samples of the search the grid may miss: each then costs its raw bytes as an escape, far
// less in all than the bit patterns of every sample (a decimal recording whose large values
// the type cannot hold to the last decimal misses 2% of the grid).
inline constexpr double kLosslessGridMisses = 1.0 / 32;

// True when the coder, quantising x on this grid at a bound of 0, gives back exactly x (the
// sign of a zero included): the same index, value and check as its grid quantiser, so that
// the misses counted here are the samples it escapes.
template <class F>
bool on_lossless_grid(double x, const Grid& grid) {
  GridQuantiser<F> quantiser;
  quantiser.origin = grid.origin;
  quantiser.spacing = grid.spacing;
  quantiser.inverse_spacing = 1.0 / grid.spacing;
  std::int64_t n;
  return quantiser.index_of(x, n) && within_bound(x, F::widen(quantiser.value(n)), 0.0);
}

// Where the grid of `spacing` through `low` lies on average over x: the least value carries
// its own rounding to the type, which an offset grid (gain * code + offset) cannot afford.
inline double mean_origin(const std::vector<double>& x, double low, double spacing) {
  double sum = 0.0;
  for (const double v : x) sum += (v - low) - std::nearbyint((v - low) / spacing) * spacing;
  return low + sum / static_cast<double>(x.size());
}

// The straight line x = origin + spacing * n through the samples' grid indices n, by least
// squares: the type's roundings average out of both, which an offset grid needs (gain * code +
// offset: the least value is off by its own rounding, and a spacing from it drifts along n).
inline Grid least_squares_grid(const std::vector<double>& x, const Grid& rough) {
  double mean_n = 0.0;
  double mean_x = 0.0;
  for (const double v : x) {
    mean_n += std::nearbyint((v - rough.origin) / rough.spacing);
    mean_x += v;
  }
  mean_n /= static_cast<double>(x.size());
  mean_x /= static_cast<double>(x.size());
  double covariance = 0.0;
  double variance = 0.0;
  for (const double v : x) {
    const double dn = std::nearbyint((v - rough.origin) / rough.spacing) - mean_n;
    covariance += dn * (v - mean_x);
    variance += dn * dn;
  }
  if (!(variance > 0.0)) return rough;
  const double spacing = covariance / variance;
  if (!(spacing > 0.0) || !std::isfinite(spacing)) return rough;
  return {mean_x - spacing * mean_n, spacing};
}

// Narrows origin and spacing to what every sample allows: each must lie within its own
// rounding (`unit_roundoff` of its magnitude) of origin + spacing * n. The samples of least
// magnitude pin the origin, those farthest along the grid the spacing; a few rounds of each,
// each taking the middle of what is left. Samples within a step of zero are left out (their
// rounding is far finer than the arithmetic here).
inline Grid narrowed_grid(const std::vector<double>& x, Grid grid, double unit_roundoff) {
  constexpr int kRounds = 3;
  // The origin moved to the grid point nearest zero, so that the samples pinning it (the
  // smallest) are few steps from it and the spacing's error hardly moves them.
  grid.origin -= std::nearbyint(grid.origin / grid.spacing) * grid.spacing;
  for (int round = 0; round < kRounds; ++round) {
    double low = -HUGE_VAL;
    double high = HUGE_VAL;
    for (const double v : x) {
      if (std::fabs(v) < grid.spacing) continue;
      const double slack = std::fabs(v) * unit_roundoff;
      const double at = v - std::nearbyint((v - grid.origin) / grid.spacing) * grid.spacing;
      low = std::max(low, at - slack);
      high = std::min(high, at + slack);
    }
    if (!(low <= high)) return grid;
    const double origin = 0.5 * (low + high);
    low = -HUGE_VAL;
    high = HUGE_VAL;
    for (const double v : x) {
      const double n = std::nearbyint((v - origin) / grid.spacing);
      if (std::fabs(v) < grid.spacing || n == 0.0) continue;
      const double slack = std::fabs(v) * unit_roundoff;
      const double a = (v - slack - origin) / n;
      const double b = (v + slack - origin) / n;
      low = std::max(low, std::min(a, b));
      high = std::min(high, std::max(a, b));
    }
    if (!(low <= high) || !(low > 0.0)) return {origin, grid.spacing};
    grid = {origin, 0.5 * (low + high)};
  }
  return grid;
}

// The grid candidates: as measured, and with the spacing snapped to 1 / (whole number) or to
// the type's own rounding of it; the origin at zero when the grid passes through it (the usual
// gain * code, code 0 at 0), at the least value, or where the grid lies on average; and the
// least-squares line.
template <class F>
std::vector<Grid> lossless_grid_candidates(const Grid& rough, const std::vector<double>& x) {
  std::vector<double> spacings{rough.spacing};
  const double per_unit = std::nearbyint(1.0 / rough.spacing);
  if (per_unit >= 1.0 && std::fabs(1.0 / rough.spacing - per_unit) <= 1e-6 * per_unit) {
    spacings.push_back(1.0 / per_unit);
  }
  const double own = F::widen(F::narrow(rough.spacing));
  if (own != rough.spacing && own > 0.0 && std::isfinite(own)) spacings.push_back(own);
  std::vector<Grid> grids;
  for (const double spacing : spacings) {
    const double steps = rough.origin / spacing;
    if (std::fabs(steps - std::nearbyint(steps)) < 1e-3) grids.push_back({0.0, spacing});
    grids.push_back({rough.origin, spacing});
    grids.push_back({mean_origin(x, rough.origin, spacing), spacing});
  }
  const Grid line = least_squares_grid(x, rough);
  grids.push_back(line);
  grids.push_back(narrowed_grid(x, line, F::kUnitRoundoff));
  return grids;
}

// A first grid from the sampled blocks one at a time, so that a sample off the grid (a
// glitch, a zero in an offset recording) spoils only its own block: the one of widest span
// gives the finest spacing. Exactness is checked sample by sample later, so the type's
// rounding need not be far finer than the grid here.
inline Grid rough_lossless_grid(const std::vector<double>& x) {
  Grid widest;
  double widest_span = 0.0;
  for (std::size_t begin = 0; begin < x.size(); begin += kBlock) {
    const std::size_t n = std::min(kBlock, x.size() - begin);
    const Grid grid = find_grid(x.data() + begin, n, n, n, 0.0);
    if (!(grid.spacing > 0.0)) continue;
    const auto [low, high] =
        std::minmax_element(x.begin() + static_cast<std::ptrdiff_t>(begin),
                            x.begin() + static_cast<std::ptrdiff_t>(begin + n));
    if (*high - *low > widest_span) {
      widest_span = *high - *low;
      widest = grid;
    }
  }
  return widest;
}

// How many of x the grid misses, counting no further than `enough`.
template <class F>
std::size_t grid_misses(const std::vector<double>& x, const Grid& grid, std::size_t enough) {
  std::size_t misses = 0;
  for (const double v : x) {
    misses += !on_lossless_grid<F>(v, grid);
    if (misses > enough) break;
  }
  return misses;
}

// True when the grid is coarser than twice the type's step at x: only there does giving x
// back say that x lies on the grid (any x comes back from a grid finer than the type).
template <class F>
bool grid_is_coarser(double x, const Grid& grid) {
  return 4.0 * std::fabs(x) * F::kUnitRoundoff < grid.spacing;
}

// Decimal recordings (values written with d decimals and read back as floats): the grid of
// 10^-d through zero, for the fewest decimals that give back all but `allowed` of x, provided
// it is coarser than the type for at least half of x. Finer than the type where the values
// are large, so the grid search above does not see it.
template <class F>
Grid decimal_grid(const std::vector<double>& x, std::size_t allowed) {
  constexpr int kMostDecimals = 9;
  double power = 1.0;
  for (int decimals = 0; decimals <= kMostDecimals; ++decimals, power *= 10.0) {
    const Grid grid{0.0, 1.0 / power};
    const auto coarser =
        std::count_if(x.begin(), x.end(), [&](double v) { return grid_is_coarser<F>(v, grid); });
    if (2 * static_cast<std::size_t>(coarser) < x.size()) continue;
    if (grid_misses<F>(x, grid, allowed) <= allowed) return grid;
  }
  return {};
}

// The grid (origin, spacing) that gives back all but at most kLosslessGridMisses of the
// sampled samples, the one that misses fewest; spacing 0 when there is none.
template <class F>
Grid find_lossless_grid(const SampleView& view) {
  using Storage = typename F::Storage;
  const std::size_t blocks = block_count(view.count);
  const std::size_t every =
      std::max<std::size_t>(8, (blocks + kLosslessGridBlocks - 1) / kLosslessGridBlocks);
  std::vector<double> x;  // the sampled blocks' finite samples, one after another
  std::size_t sampled = 0;
  for (std::size_t b = 0; b < blocks; b += every) {
    for (std::size_t i = b * kBlock; i < std::min(view.count, (b + 1) * kBlock); ++i, ++sampled) {
      Storage s;
      std::memcpy(&s, sample_at(view, i), sizeof s);
      const double v = F::widen(s);
      if (std::isfinite(v)) x.push_back(v);
    }
  }
  // NaNs and infinities escape too: they count against the misses allowed.
  const auto all_allowed =
      static_cast<std::size_t>(kLosslessGridMisses * static_cast<double>(sampled));
  const std::size_t non_finite = sampled - x.size();
  if (x.empty() || non_finite > all_allowed) return {};
  const std::size_t allowed = all_allowed - non_finite;
  const Grid rough = rough_lossless_grid(x);
  if (!(rough.spacing > 0.0)) return decimal_grid<F>(x, allowed);
  Grid best;
  std::size_t fewest = allowed;
  for (const Grid& grid : lossless_grid_candidates<F>(rough, x)) {
    const std::size_t misses = grid_misses<F>(x, grid, fewest);
    if (misses <= fewest) {
      fewest = misses;
      best = grid;
    }
  }
  return best.spacing > 0.0 ? best : decimal_grid<F>(x, allowed);
}

}  // namespace tessarine::predictive
