#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

namespace tessarine::predictive {

// A chunk-wide linear predictor for lossless integers (values below 2^32 in magnitude):
// p = (sum of c_j * v_(i-1-j) + 2^(shift-1)) >> shift with 16-bit c_j, all in int64, which
// cannot overflow (|sum| < 8 * 2^15 * 2^32). Wins over the fixed predictors on signals with
// resonances (EEG, respiration) that orders 1-3 cannot follow.
inline constexpr std::size_t kLpcOrder = 8;
inline constexpr unsigned kLpcMaxShift = 15;

struct LpcFilter {
  unsigned shift = 0;  // <= kLpcMaxShift
  std::array<std::int16_t, kLpcOrder> coefficients{};
  std::int64_t level = 0;  // segmented chunks: what every lag holds at a segment's start
};

// A segmented chunk runs the filter over kLpcSegments stretches of
// lpc_segment_length(n) samples (the last may be shorter or empty), each starting from a history
// of `level` (the chunk's mean): the segments' chains are independent, so a decoder runs them side
// by side, and a start at the mean costs next to nothing where one at zero costs a few bytes.
inline constexpr std::size_t kLpcSegments = 4;
inline std::size_t lpc_segment_length(std::size_t n) {
  return (n + kLpcSegments - 1) / kLpcSegments;
}

// The last kLpcOrder values, newest first; zero at a chunk's start.
struct LpcHistory {
  std::array<std::int64_t, kLpcOrder> v{};
  void push(std::int64_t y) {
    for (std::size_t j = kLpcOrder - 1; j > 0; --j) v[j] = v[j - 1];
    v[0] = y;
  }
  void fill(std::int64_t y) { v.fill(y); }
};

// A filter as the per-sample loops use it: coefficients widened once per chunk, so that each
// term is one multiply from memory, and the rounding term ready.
struct WideLpc {
  explicit WideLpc(const LpcFilter& filter)
      : shift(filter.shift), half(filter.shift == 0 ? 0 : std::int64_t{1} << (filter.shift - 1)) {
    for (std::size_t j = 0; j < kLpcOrder; ++j) c[j] = filter.coefficients[j];
  }
  std::array<std::int64_t, kLpcOrder> c{};
  unsigned shift;
  std::int64_t half;
};

// The rounding term and the oldest terms first: the newest value, the one the previous sample
// just produced, joins last, so one multiply and one add stand between it and the shift.
// (sum + 0) >> 0 is the sum, so no shift needs no case of its own.
inline std::int64_t lpc_predict(const WideLpc& filter, const LpcHistory& h) {
  std::int64_t sum = filter.half;
  for (std::size_t j = kLpcOrder; j-- > 0;) sum += filter.c[j] * h.v[j];
  return sum >> filter.shift;
}

// Visits [0, n) in segments of `length` (n for one piece), each starting from a history of
// `level`: h.push(visit(i, prediction)). Encoder and decoder share it, so that they cannot
// disagree on where a segment starts or what it starts from.
template <class Visit>
inline void lpc_walk(const WideLpc& filter, std::size_t n, std::size_t length, std::int64_t level,
                     Visit&& visit) {
  for (std::size_t begin = 0; begin < n; begin += length) {
    LpcHistory h;
    h.fill(level);
    const std::size_t end = std::min(n, begin + length);
    for (std::size_t i = begin; i < end; ++i) h.push(visit(i, lpc_predict(filter, h)));
  }
}

// Which blocks [b, b + block) of a signal the fit looks at: b = 0, every, 2 every, ...
struct LpcSample {
  std::size_t block;
  std::size_t fit_every;     // for the least-squares fit
  std::size_t refine_every;  // for the steps that move it toward the residuals' bits
};

// True when every sum the filter forms (rounding term included) on values of magnitude up to
// `largest` stays below 2^31 in magnitude: then 32-bit lanes compute them exactly.
inline bool sums_fit_32_bits(const LpcFilter& filter, std::int64_t largest) {
  std::int64_t weight = 0;
  for (std::int16_t c : filter.coefficients) weight += c < 0 ? -std::int64_t{c} : std::int64_t{c};
  const std::int64_t rounding = filter.shift == 0 ? 0 : std::int64_t{1} << (filter.shift - 1);
  return weight * largest + rounding < (std::int64_t{1} << 31);
}

// A least-squares fit (autocorrelation, Levinson-Durbin) to x[0, n), refined when its residuals'
// rough bits (sum of log2(1 + |r|)) on the refining sample undercut `bits_to_beat`;
// coefficients scaled by the largest power of two that keeps them within 16 bits and, when
// `lanes_largest` is not 0, keeps sums_fit_32_bits for values up to that magnitude (a halved
// scale costs next to nothing; 32-bit sums decode 8- and 16-bit samples side by side). False when
// there is nothing to fit.
[[nodiscard]] bool fit_lpc(const std::int64_t* x, std::size_t n, const LpcSample& sample,
                           double bits_to_beat, LpcFilter& filter, std::int64_t lanes_largest = 0);

}  // namespace tessarine::predictive
