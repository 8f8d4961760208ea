#include "predictive/lpc.hpp"

#include <cmath>
#include <limits>

#include "predictive/predictors.hpp"

namespace tessarine::predictive {
namespace {

using Weights = std::array<double, kLpcOrder + 1>;  // [j]: weight of x[i - j]; [0] unused

// Reweighting steps, over every kStride-th sample of the refining blocks: as good a fit on the
// recordings as every sample, for half the time.
constexpr int kRefinements = 2;
constexpr std::size_t kStride = 2;

// Autocorrelation r[0..kLpcOrder] over the sampled blocks, in one pass; r[0] raised a hair so
// that the recursion stays stable.
std::array<double, kLpcOrder + 1> autocorrelation(const std::int64_t* x, std::size_t n, std::size_t block,
                                                  std::size_t every) {
  std::array<double, kLpcOrder + 1> r{};
  for (std::size_t begin = 0; begin < n; begin += every) {
    const std::size_t end = begin + block < n ? begin + block : n;
    for (std::size_t i = begin + kLpcOrder; i < end; ++i) {
      const double xi = static_cast<double>(x[i]);
      for (std::size_t lag = 0; lag <= kLpcOrder; ++lag) r[lag] += xi * static_cast<double>(x[i - lag]);
    }
  }
  r[0] *= 1.0 + 1e-9;
  return r;
}

// Levinson-Durbin on r; false when r carries no signal.
bool levinson(const std::array<double, kLpcOrder + 1>& r, Weights& a) {
  if (!(r[0] > 0.0)) return false;
  a = {};
  double error = r[0];
  for (std::size_t i = 1; i <= kLpcOrder; ++i) {
    double acc = r[i];
    for (std::size_t j = 1; j < i; ++j) acc -= a[j] * r[i - j];
    const double k = acc / error;
    Weights next = a;
    next[i] = k;
    for (std::size_t j = 1; j < i; ++j) next[j] = a[j] - k * a[i - j];
    a = next;
    error *= 1.0 - k * k;
    if (!(error > 0.0)) break;
  }
  return true;
}

// Normal equations of a least-squares fit weighted by 1 / (1 + |r|), r the residuals of the
// current weights, and the rough bits those residuals cost (every kStride-th sample of each).
struct WeightedSums {
  std::array<std::array<double, kLpcOrder>, kLpcOrder> gram{};
  std::array<double, kLpcOrder> target{};
  double bits = 0.0;
};

template <bool kNormalEquations>
WeightedSums weighted_sums(const std::int64_t* x, std::size_t n, std::size_t block,
                           std::size_t every, const Weights& a) {
  WeightedSums s;
  for (std::size_t begin = 0; begin < n; begin += every) {
    const std::size_t end = begin + block < n ? begin + block : n;
    for (std::size_t i = begin + kLpcOrder; i < end; i += kStride) {
      std::array<double, kLpcOrder> lag;
      double prediction = 0.0;
      for (std::size_t j = 0; j < kLpcOrder; ++j) {
        lag[j] = static_cast<double>(x[i - 1 - j]);
        prediction += a[j + 1] * lag[j];
      }
      const double y = static_cast<double>(x[i]);
      const double size = 1.0 + std::fabs(y - prediction);
      s.bits += rough_log2(size);
      if constexpr (kNormalEquations) {
        const double w = 1.0 / size;
        for (std::size_t j = 0; j < kLpcOrder; ++j) {
          const double wl = w * lag[j];
          for (std::size_t k = j; k < kLpcOrder; ++k) s.gram[j][k] += wl * lag[k];
          s.target[j] += wl * y;
        }
      }
    }
  }
  return s;
}

// Solves the normal equations by Cholesky; false when they are not positive definite.
bool solve(WeightedSums& s, Weights& a) {
  auto& g = s.gram;  // upper triangle in, the factor's upper triangle out
  for (std::size_t j = 0; j < kLpcOrder; ++j) {
    g[j][j] *= 1.0 + 1e-9;
    for (std::size_t k = 0; k < j; ++k) g[j][j] -= g[k][j] * g[k][j];
    if (!(g[j][j] > 0.0)) return false;
    g[j][j] = std::sqrt(g[j][j]);
    for (std::size_t m = j + 1; m < kLpcOrder; ++m) {
      for (std::size_t k = 0; k < j; ++k) g[j][m] -= g[k][j] * g[k][m];
      g[j][m] /= g[j][j];
    }
  }
  std::array<double, kLpcOrder> z = s.target;
  for (std::size_t j = 0; j < kLpcOrder; ++j) {
    for (std::size_t k = 0; k < j; ++k) z[j] -= g[k][j] * z[k];
    z[j] /= g[j][j];
  }
  Weights solved{};
  for (std::size_t j = kLpcOrder; j-- > 0;) {
    for (std::size_t k = j + 1; k < kLpcOrder; ++k) z[j] -= g[j][k] * z[k];
    z[j] /= g[j][j];
    if (!std::isfinite(z[j])) return false;
    solved[j + 1] = z[j];
  }
  a = solved;
  return true;
}

// Residuals cost about log2(1 + |r|) bits, so a plain least-squares fit lets the few large
// errors (spikes, artefacts) pull the weights away from the many small ones. Reweighting by
// 1 / (1 + |r|) moves the fit toward the bits; the cheapest of the steps is kept. Where the
// first fit does not undercut `bits_to_beat`, the steps would rarely change the choice, and
// are skipped.
Weights reweighted(const std::int64_t* x, std::size_t n, std::size_t block, std::size_t every,
                   Weights a, double bits_to_beat) {
  double best_bits = weighted_sums<false>(x, n, block, every, a).bits;
  const double every_sample = best_bits * static_cast<double>(kStride);  // as bits_to_beat counts
  if (!(every_sample < bits_to_beat)) return a;
  Weights best = a;
  for (int step = 0; step < kRefinements; ++step) {
    auto sums = weighted_sums<true>(x, n, block, every, a);
    if (sums.bits < best_bits) {
      best_bits = sums.bits;
      best = a;
    }
    if (!solve(sums, a)) return best;
  }
  return weighted_sums<false>(x, n, block, every, a).bits < best_bits ? a : best;
}

}  // namespace

bool fit_lpc(const std::int64_t* x, std::size_t n, const LpcSample& sample, double bits_to_beat,
             LpcFilter& filter, std::int64_t lanes_largest) {
  if (n <= 2 * kLpcOrder) return false;
  Weights a;
  if (!levinson(autocorrelation(x, n, sample.block, sample.fit_every), a)) return false;
  a = reweighted(x, n, sample.block, sample.refine_every, a, bits_to_beat);
  double largest = 0.0;
  for (std::size_t j = 1; j <= kLpcOrder; ++j) largest = std::fmax(largest, std::fabs(a[j]));
  if (!(largest > 0.0) || !std::isfinite(largest)) return false;
  int shift = static_cast<int>(std::floor(std::log2(32767.0 / largest)));
  if (shift < 0) return false;
  shift = shift > static_cast<int>(kLpcMaxShift) ? static_cast<int>(kLpcMaxShift) : shift;
  for (;; --shift) {
    filter.shift = static_cast<unsigned>(shift);
    for (std::size_t j = 0; j < kLpcOrder; ++j) {
      filter.coefficients[j] = static_cast<std::int16_t>(std::lround(std::ldexp(a[j + 1], shift)));
    }
    if (lanes_largest == 0 || shift == 0 || sums_fit_32_bits(filter, lanes_largest)) return true;
  }
}

}  // namespace tessarine::predictive
