#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "codec/compressor.hpp"
#include "codec/decompressor.hpp"
#include "codec/quantize.hpp"

namespace tessarine {
namespace {

constexpr Method kMethods[] = {Method::Cdf53, Method::Cdf97, Method::Db4, Method::Sym4};
constexpr Coder kCoders[] = {Coder::Deflate, Coder::Arans};
constexpr Cutoff kCutoffs[] = {Cutoff::Low, Cutoff::Medium, Cutoff::High};

std::vector<float> random_signal(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::normal_distribution<float> dist(0.0f, 3.0f);
  std::vector<float> x(n);
  for (float& v : x) v = dist(rng);
  return x;
}

std::vector<float> smooth_signal(std::size_t n) {
  std::vector<float> x(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i);
    x[i] = static_cast<float>(5.0 * std::sin(0.03 * t) + 2.0 * std::cos(0.0071 * t) + 40.0);
  }
  return x;
}

// Root-mean-square error relative to the signal's range.
double relative_rms_error(const std::vector<float>& x, const std::vector<float>& y) {
  double sum = 0.0;
  float lo = x[0];
  float hi = x[0];
  for (std::size_t i = 0; i < x.size(); ++i) {
    const double e = static_cast<double>(x[i]) - y[i];
    sum += e * e;
    lo = std::min(lo, x[i]);
    hi = std::max(hi, x[i]);
  }
  const double range = hi > lo ? hi - lo : 1.0;
  return std::sqrt(sum / static_cast<double>(x.size())) / range;
}

double snr_db(const std::vector<float>& x, const std::vector<float>& y) {
  double mean = 0.0;
  for (const float v : x) mean += v;
  mean /= static_cast<double>(x.size());
  double signal = 0.0;
  double noise = 0.0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    signal += (x[i] - mean) * (x[i] - mean);
    noise += (static_cast<double>(x[i]) - y[i]) * (static_cast<double>(x[i]) - y[i]);
  }
  return 10.0 * std::log10(signal / noise);
}

std::vector<float> round_trip(const std::vector<float>& x, const CompressionOptions& options) {
  const auto container = compress(x, options);
  EXPECT_TRUE(container) << container.error().display();
  if (!container) return {};
  const auto out = decompress(*container);
  EXPECT_TRUE(out) << out.error().display();
  return out ? *out : std::vector<float>{};
}

std::string describe(const CompressionOptions& o, std::size_t n) {
  return std::string(method_name(o.method)) + " " + std::string(coder_name(o.coder)) + " scale " +
         std::to_string(o.scale) + " " + std::string(cutoff_name(o.cutoff)) + " n " +
         std::to_string(n);
}

// The error stays within the quantisation step widened by the dead zone; a broken band
// order, layout or normalisation is off by orders of magnitude more.
double error_bound(const CompressionOptions& o) {
  const double threshold = detail_threshold(o.scale, o.cutoff);
  return (1.5 + threshold / 2.0) * std::ldexp(1.0, -o.scale);
}

TEST(PipelineRoundTrip, EveryOptionOnShortSignals) {
  unsigned combination = 0;
  for (const Method method : kMethods) {
    for (const Coder coder : kCoders) {
      for (std::uint8_t scale = kMinScale; scale <= kMaxScale; ++scale) {
        for (const Cutoff cutoff : kCutoffs) {
          const CompressionOptions options{method, scale, cutoff, coder};
          ++combination;
          // A different sample of lengths per combination; together they cover 1..300.
          for (std::size_t n = 1 + combination % 7; n <= 300; n += 7) {
            for (const auto& x : {random_signal(n, combination), smooth_signal(n)}) {
              const auto y = round_trip(x, options);
              ASSERT_EQ(y.size(), n) << describe(options, n);
              ASSERT_LE(relative_rms_error(x, y), error_bound(options)) << describe(options, n);
            }
          }
        }
      }
    }
  }
}

TEST(PipelineRoundTrip, EveryLengthWithDefaultsPerMethod) {
  for (const Method method : kMethods) {
    for (const Coder coder : kCoders) {
      const CompressionOptions options{.method = method, .coder = coder};
      for (std::size_t n = 1; n <= 300; ++n) {
        const auto x = random_signal(n, static_cast<unsigned>(n));
        const auto y = round_trip(x, options);
        ASSERT_EQ(y.size(), n) << describe(options, n);
        ASSERT_LE(relative_rms_error(x, y), error_bound(options)) << describe(options, n);
      }
    }
  }
}

TEST(PipelineRoundTrip, LargeSmoothSignalsKeepHighQuality) {
  for (const Method method : kMethods) {
    for (const std::size_t n : {4096u, 100003u}) {
      const auto x = smooth_signal(n);
      const CompressionOptions options{.method = method};
      const auto y = round_trip(x, options);
      ASSERT_EQ(y.size(), n);
      EXPECT_GT(snr_db(x, y), 40.0) << describe(options, n);
    }
  }
  const auto noise = random_signal(1 << 18, 99);
  const auto y = round_trip(noise, {.coder = Coder::Deflate});
  ASSERT_EQ(y.size(), noise.size());
  EXPECT_LE(relative_rms_error(noise, y), error_bound({}));
}

// Tiny ranges are real signals (a trace in m/s, a strain gauge, a current in amperes): they
// keep their shape like any other, up to the float32 rounding of their offset.
TEST(PipelineRoundTrip, SmallRangesKeepTheirContent) {
  struct Case {
    float offset;
    float range;
  };
  const Case cases[] = {{0.0f, 1e-6f},  {0.0f, 1e-12f},   {0.0f, 1e-30f},
                        {-3.0f, 2e-5f}, {1000.0f, 0.05f}, {1e-20f, 1e-25f}};
  for (const Method method : kMethods) {
    for (const Case& c : cases) {
      auto x = smooth_signal(2000);  // spans [33, 47]
      for (float& v : x) v = c.offset + (v - 33.0f) / 14.0f * c.range;
      const CompressionOptions options{.method = method};
      const auto y = round_trip(x, options);
      ASSERT_EQ(y.size(), x.size());
      const double rounding = 4.0 * std::ldexp(1.0, -23) * std::abs(c.offset) / c.range;
      EXPECT_LE(relative_rms_error(x, y), error_bound(options) + rounding)
          << describe(options, x.size()) << " range " << c.range << " offset " << c.offset;
    }
  }
}

TEST(PipelineRoundTrip, CompressionIsDeterministic) {
  const auto x = random_signal(5000, 5);
  for (const Method method : kMethods) {
    for (const Coder coder : kCoders) {
      const CompressionOptions options{.method = method, .coder = coder};
      EXPECT_EQ(compress(x, options).value(), compress(x, options).value());
    }
  }
}

}  // namespace
}  // namespace tessarine
