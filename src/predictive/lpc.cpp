#include "predictive/lpc.hpp"

#include <cmath>

namespace tessarine::predictive {
namespace {

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

}  // namespace

bool fit_lpc(const std::int64_t* x, std::size_t n, std::size_t block, std::size_t every, LpcFilter& filter) {
  if (n <= 2 * kLpcOrder) return false;
  const auto r = autocorrelation(x, n, block, every);
  if (!(r[0] > 0.0)) return false;
  std::array<double, kLpcOrder + 1> a{};  // a[j]: weight of x[i - j]
  double error = r[0];
  for (std::size_t i = 1; i <= kLpcOrder; ++i) {
    double acc = r[i];
    for (std::size_t j = 1; j < i; ++j) acc -= a[j] * r[i - j];
    const double k = acc / error;
    std::array<double, kLpcOrder + 1> next = a;
    next[i] = k;
    for (std::size_t j = 1; j < i; ++j) next[j] = a[j] - k * a[i - j];
    a = next;
    error *= 1.0 - k * k;
    if (!(error > 0.0)) break;
  }
  double largest = 0.0;
  for (std::size_t j = 1; j <= kLpcOrder; ++j) largest = std::fmax(largest, std::fabs(a[j]));
  if (!(largest > 0.0) || !std::isfinite(largest)) return false;
  int shift = static_cast<int>(std::floor(std::log2(32767.0 / largest)));
  if (shift < 0) return false;
  shift = shift > static_cast<int>(kLpcMaxShift) ? static_cast<int>(kLpcMaxShift) : shift;
  filter.shift = static_cast<unsigned>(shift);
  for (std::size_t j = 0; j < kLpcOrder; ++j) {
    filter.coefficients[j] = static_cast<std::int16_t>(std::lround(std::ldexp(a[j + 1], shift)));
  }
  return true;
}

}  // namespace tessarine::predictive
