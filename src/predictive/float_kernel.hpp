#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "predictive/error.hpp"
#include "predictive/error_stats.hpp"
#include "predictive/float_quantiser.hpp"
#include "predictive/interpolation.hpp"
#include "predictive/predictors.hpp"
#include "predictive/sample_type.hpp"
#include "predictive/stream_layout.hpp"

namespace tessarine::predictive {

// Every 8th block of a chunk is the sample on which interpolation is weighed against blocks.
inline constexpr std::size_t kEstimateEvery = 8;

// Quantised floats of format F, one chunk at a time: block predictors or interpolation.
template <class F>
class FloatKernel {
 public:
  using Storage = typename F::Storage;

  FloatKernel(const FloatQuantiser& quantiser, std::size_t capacity)
      : q_(quantiser), x_(capacity), y_(capacity) {}

  void load(const SampleView& view, std::size_t first, std::size_t n) {
    view_ = view;
    first_ = first;
    const std::byte* at = view.data + static_cast<std::ptrdiff_t>(first) * view.stride;
    for (std::size_t i = 0; i < n; ++i, at += view.stride) {
      Storage s;
      std::memcpy(&s, at, sizeof s);
      x_[i] = F::widen(s);
    }
  }

  [[nodiscard]] ChunkHeader plan(std::size_t n) const {
    ChunkHeader header;
    const double* x = x_.data();
    for (std::size_t b = 0; b < block_count(n); ++b) {
      const std::size_t begin = b * kBlock;
      const std::size_t length = std::min(kBlock, n - begin);
      const auto sums = residual_sums(x + begin, length, history_before(x, begin),
                                      [](double r) { return std::fabs(r); });
      header.predictors[b] = cheapest_predictor(sums, length, q_.bound);
    }
    choose_interpolation(header, n);
    return header;
  }

  void encode(const ChunkHeader& header, std::span<std::uint64_t> codes, EscapeWriter& escapes,
              ErrorStats& stats) {
    const std::size_t n = codes.size();
    std::size_t k = 0;
    const auto code_at = [&](std::size_t i, double p) {
      return code_sample(i, p, codes[k++], escapes, stats);
    };
    if (header.layout == ChunkLayout::LinearInterpolation) {
      interpolation_walk<false>(n, y_.data(), code_at);
    } else if (header.layout == ChunkLayout::CubicInterpolation) {
      interpolation_walk<true>(n, y_.data(), code_at);
    } else {
      History<double> h;
      for (std::size_t begin = 0; begin < n; begin += kBlock) {
        const std::size_t end = std::min(n, begin + kBlock);
        with_predictor(header.predictors[begin / kBlock], [&]<Predictor P>() {
          for (std::size_t i = begin; i < end; ++i) h.push(code_sample(i, predict<P>(h), codes[i], escapes, stats));
        });
      }
    }
    stats.finite += n - non_finite_;
    non_finite_ = 0;
  }

  [[nodiscard]] PredictiveResult<void> decode(const ChunkHeader& header,
                                              std::span<const std::uint64_t> codes,
                                              EscapeReader& escapes, std::byte* out) {
    const std::size_t n = codes.size();
    bool ok = true;
    std::size_t k = 0;
    const auto decode_at = [&](std::size_t i, double p) {
      return decode_sample(codes[k++], p, escapes, out + i * sizeof(Storage), ok);
    };
    if (header.layout == ChunkLayout::LinearInterpolation) {
      interpolation_walk<false>(n, y_.data(), decode_at);
    } else if (header.layout == ChunkLayout::CubicInterpolation) {
      interpolation_walk<true>(n, y_.data(), decode_at);
    } else {
      History<double> h;
      for (std::size_t begin = 0; begin < n && ok; begin += kBlock) {
        const std::size_t end = std::min(n, begin + kBlock);
        with_predictor(header.predictors[begin / kBlock], [&]<Predictor P>() {
          for (std::size_t i = begin; i < end; ++i) {
            h.push(decode_sample(codes[i], predict<P>(h), escapes, out + i * sizeof(Storage), ok));
          }
        });
      }
    }
    if (!ok) return std::unexpected(PredictiveError::damaged("codes ask for more escapes than the chunk holds"));
    return {};
  }

 private:
  // Codes x_[i] against prediction p, or escapes it; returns what the predictors see next.
  double code_sample(std::size_t i, double p, std::uint64_t& code, EscapeWriter& escapes,
                     ErrorStats& stats) {
    const double x = x_[i];
    double y;
    if (quantise<F>(x, p, q_, code, y)) [[likely]] {
      stats.add(x - y);
      return y;
    }
    code = kEscapeCode;
    escapes.push(raw_bits(view_, first_ + i));
    if (!std::isfinite(x)) ++non_finite_;
    return escaped_history(x, p);
  }

  double decode_sample(std::uint64_t code, double p, EscapeReader& escapes, std::byte* at,
                       bool& ok) const {
    Storage s;
    if (code != kEscapeCode) [[likely]] {
      s = reconstruct<F>(p, unzigzag(code - 1), q_.step);
      std::memcpy(at, &s, sizeof s);
      return F::widen(s);
    }
    std::uint64_t raw = 0;
    if (!escapes.next(raw)) ok = false;
    std::memcpy(&s, &raw, sizeof s);
    std::memcpy(at, &s, sizeof s);
    return escaped_history(F::widen(s), p);
  }

  // Estimated bits of a residual: log2(1 + (|r| + noise) / step).
  [[nodiscard]] double bits(double residual, double noise) const {
    return rough_log2(1.0 + (std::fabs(residual) + noise) * q_.inverse_step);
  }

  // Weighs both interpolations against the chosen block predictors on every
  // kEstimateEvery-th block of the original samples, including each one's noise.
  void choose_interpolation(ChunkHeader& header, std::size_t n) const {
    if (n < 4 * kAnchorStride) return;
    const double* x = x_.data();
    double blocks = 0.0;
    double linear = 0.0;
    double cubic = 0.0;
    std::array<double, kBlock> window;
    for (std::size_t b = 0; b < block_count(n); b += kEstimateEvery) {
      const std::size_t begin = b * kBlock;
      const std::size_t length = std::min(kBlock, n - begin);
      blocks += with_predictor(header.predictors[b], [&]<Predictor P>() {
        History<double> h = history_before(x, begin);
        double sum = 0.0;
        for (std::size_t i = begin; i < begin + length; ++i) {
          sum += bits(x[i] - predict<P>(h), kNoiseGain[static_cast<std::size_t>(P)] * q_.bound);
          h.push(x[i]);
        }
        return sum;
      });
      std::copy(x + begin, x + begin + length, window.begin());
      linear += interpolation_bits<false>(window.data(), length, kLinearNoiseGain);
      cubic += interpolation_bits<true>(window.data(), length, kCubicNoiseGain);
    }
    if (std::min(linear, cubic) < blocks) {
      header.layout = cubic < linear ? ChunkLayout::CubicInterpolation : ChunkLayout::LinearInterpolation;
    }
  }

  // Estimated bits of the interpolation walk over original samples w[0, n).
  template <bool kCubic>
  [[nodiscard]] double interpolation_bits(double* w, std::size_t n, double gain) const {
    double total = 0.0;
    interpolation_walk<kCubic>(n, w, [&](std::size_t i, double p) {
      total += bits(w[i] - p, gain * q_.bound);
      return w[i];
    });
    return total;
  }

  FloatQuantiser q_;
  std::vector<double> x_;  // the chunk's samples
  std::vector<double> y_;  // its reconstructions, for interpolation
  SampleView view_{};
  std::size_t first_ = 0;
  std::size_t non_finite_ = 0;
};

}  // namespace tessarine::predictive
