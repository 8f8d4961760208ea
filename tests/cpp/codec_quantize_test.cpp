#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "codec/normalize.hpp"
#include "codec/quantize.hpp"

namespace tessarine {
namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

std::vector<std::int16_t> quantized(std::vector<float> band, std::uint8_t scale,
                                    std::uint16_t threshold = 0) {
  std::vector<std::int16_t> out(band.size());
  quantize_band(band, scale, threshold, out);
  return out;
}

TEST(Sanitize, NonFiniteSamplesAndRange) {
  struct Case {
    std::vector<float> in, out;
    float min, max;
  };
  const Case cases[] = {
      {{kNaN, 1.0f, 2.0f}, {0.0f, 1.0f, 2.0f}, 0.0f, 2.0f},
      {{kInf, -kInf}, {1.0f, 0.0f}, 0.0f, 1.0f},
      {{kNaN, kNaN}, {0.0f, 0.0f}, 0.0f, 0.0f},
      {{-3.5f, kInf, 7.25f, -kInf}, {-3.5f, 1.0f, 7.25f, 0.0f}, -3.5f, 7.25f},
      {{5.0f}, {5.0f}, 5.0f, 5.0f},
  };
  for (const Case& c : cases) {
    std::vector<float> out(c.in.size());
    const SampleRange range = sanitize_and_range(c.in, out);
    EXPECT_EQ(out, c.out);
    EXPECT_EQ(range.min, c.min);
    EXPECT_EQ(range.max, c.max);
  }
}

// The range pass runs in lanes; it must report exactly what one sequential pass would,
// including which zero (+0.0 or -0.0) comes first when the extreme is zero.
TEST(Sanitize, RangeMatchesASequentialScanBitForBit) {
  std::mt19937 rng(11);
  const float pool[] = {0.0f, -0.0f, 1.0f, -1.0f, 2.5f, kNaN, kInf, -kInf, 1e-30f, -3e38f};
  for (int trial = 0; trial < 3000; ++trial) {
    std::vector<float> x(rng() % 45);
    // Mostly values whose extremes are zeros, so that the sign rule is exercised.
    const std::size_t palette = trial % 3 == 0 ? std::size(pool) : 2 + trial % 4;
    for (float& v : x) v = pool[rng() % palette];
    if (trial % 5 == 0) {
      for (float& v : x) v = -std::fabs(v);
    }
    float lo = kInf;
    float hi = -kInf;
    for (const float v : x) {
      const float s = std::isnan(v) ? 0.0f : v == kInf ? 1.0f : v == -kInf ? 0.0f : v;
      if (s < lo) lo = s;
      if (s > hi) hi = s;
    }
    std::vector<float> out(x.size());
    const SampleRange range = sanitize_and_range(x, out);
    ASSERT_EQ(std::bit_cast<std::uint32_t>(range.min), std::bit_cast<std::uint32_t>(lo)) << trial;
    ASSERT_EQ(std::bit_cast<std::uint32_t>(range.max), std::bit_cast<std::uint32_t>(hi)) << trial;
  }
}

TEST(Normalize, OnlyRangesWithoutAReciprocalAreFlat) {
  constexpr float kTiny = std::numeric_limits<float>::denorm_min();
  // Zero, and a subnormal range whose reciprocal overflows: flat, all zeros, mean 0.
  std::vector<float> x{5.0f, 5.0f, 5.0f};
  const Normalization v = normalize(x, {5.0f, 5.0f});
  EXPECT_EQ(x, (std::vector<float>{0.0f, 0.0f, 0.0f}));
  EXPECT_EQ(v.mean, 0.0f);
  EXPECT_EQ(v.min, 5.0f);
  EXPECT_EQ(v.max, 5.0f);
  std::vector<float> sub{0.0f, 4 * kTiny, 0.0f};
  ASSERT_TRUE(std::isinf(1.0f / sub[1]));
  EXPECT_EQ(normalize(sub, {0.0f, 4 * kTiny}).mean, 0.0f);
  EXPECT_EQ(sub, (std::vector<float>{0.0f, 0.0f, 0.0f}));
  // Everything with a finite reciprocal, however small, spans [0, 1] before the mean goes.
  for (const float range : {1e-5f, 4e-6f, 1e-12f, 1e-30f, std::numeric_limits<float>::min()}) {
    std::vector<float> y{0.0f, range, 0.0f, range};
    const Normalization w = normalize(y, {0.0f, range});
    EXPECT_NEAR(w.mean, 0.5f, 1e-6f) << range;
    EXPECT_NEAR(y[1] - y[0], 1.0f, 1e-6f) << range;
    EXPECT_EQ(w.max, range);
  }
}

TEST(Normalize, MapsToUnitRangeCentredOnTheSequentialMean) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> dist(-1000.0f, 3000.0f);
  std::vector<float> x(10007);
  for (float& v : x) v = dist(rng);
  std::vector<float> copy(x.size());
  const SampleRange range = sanitize_and_range(x, copy);
  const Normalization v = normalize(copy, range);
  // Reference with the stored order of operations: one reciprocal, sequential f32 sum.
  const float r = 1.0f / (range.max - range.min);
  float sum = 0.0f;
  for (const float s : x) sum += (s - range.min) * r;
  const float mean = sum / static_cast<float>(x.size());
  EXPECT_EQ(std::bit_cast<std::uint32_t>(v.mean), std::bit_cast<std::uint32_t>(mean));
  for (std::size_t i = 0; i < x.size(); ++i) {
    ASSERT_EQ(copy[i], (x[i] - range.min) * r - mean) << i;
  }
  std::vector<float> back = copy;
  denormalize(back, v);
  for (std::size_t i = 0; i < x.size(); ++i) ASSERT_NEAR(back[i], x[i], 1e-3f) << i;
}

TEST(Normalize, OverflowingReconstructionsStayFiniteAndClose) {
  const float largest = std::numeric_limits<float>::max();
  const Normalization v{-largest / 2, largest / 2, 0.0f};  // a range of exactly `largest`
  // The product of the first three overflows although the result does not; the next two
  // overflow for real; the last two are finite in f32 and must stay bit for bit.
  std::vector<float> y = {1.125f, 1.0f, 1.25f, 1.75f, -0.75f, 0.5f, 0.0f};
  denormalize(y, v);
  EXPECT_EQ(y, (std::vector<float>{largest * 0.625f, largest / 2, largest * 0.75f, largest,
                                    -largest, 0.0f, -largest / 2}));
}

TEST(Quantize, ClampsAndTruncatesTowardZero) {
  const float step12 = 1.0f / 4096.0f;
  EXPECT_EQ(quantized({10.0f, -10.0f, -0.9f * step12, 0.9f * step12}, 12),
            (std::vector<std::int16_t>{32767, -32768, 0, 0}));
  EXPECT_EQ(quantized({1.5f * step12, -1.5f * step12, 32767.9f * step12, -32768.0f * step12}, 12),
            (std::vector<std::int16_t>{1, -1, 32767, -32768}));
  EXPECT_EQ(quantized({0.5f, -0.5f, 1.0f}, 6), (std::vector<std::int16_t>{32, -32, 64}));
  EXPECT_EQ(quantized({kInf, -kInf}, 9), (std::vector<std::int16_t>{32767, -32768}));
}

TEST(Quantize, DeadZoneThresholds) {
  struct Case {
    std::uint8_t scale;
    std::uint16_t low, medium, high;
  };
  const Case cases[] = {{6, 0, 0, 0},   {7, 0, 0, 0},   {8, 1, 3, 7},  {9, 1, 3, 7},
                        {10, 2, 6, 14}, {11, 2, 6, 14}, {12, 3, 9, 21}};
  for (const Case& c : cases) {
    EXPECT_EQ(detail_threshold(c.scale, Cutoff::Low), c.low);
    EXPECT_EQ(detail_threshold(c.scale, Cutoff::Medium), c.medium);
    EXPECT_EQ(detail_threshold(c.scale, Cutoff::High), c.high);
  }
}

TEST(Quantize, DeadZoneIsStrictAndCountsMinus32768AsLarge) {
  const float s = 1.0f / 4096.0f;
  const std::vector<float> band{20.5f * s, -20.5f * s, 21.5f * s, -21.5f * s, -10.0f, 3.0f * s};
  EXPECT_EQ(quantized(band, 12, detail_threshold(12, Cutoff::High)),
            (std::vector<std::int16_t>{0, 0, 21, -21, -32768, 0}));
  EXPECT_EQ(quantized(band, 12, 0), (std::vector<std::int16_t>{20, -20, 21, -21, -32768, 3}));
  // With scale 6 or 7 every cutoff leaves the band unchanged.
  for (const std::uint8_t scale : {6, 7}) {
    for (const Cutoff c : {Cutoff::Low, Cutoff::Medium, Cutoff::High}) {
      EXPECT_EQ(quantized({1.0f / 64, -1.0f / 64}, scale, detail_threshold(scale, c)),
                quantized({1.0f / 64, -1.0f / 64}, scale));
    }
  }
}

TEST(Coefficients, LittleEndianBytesAndExactDequantisation) {
  std::vector<std::int16_t> q{0x1234, -2, -32768, 32767, 1};
  const std::span<const std::uint8_t> view = coefficients_as_bytes(q);
  const std::vector<std::uint8_t> bytes(view.begin(), view.end());
  EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0x34, 0x12, 0xFE, 0xFF, 0x00, 0x80, 0xFF, 0x7F, 0x01,
                                              0x00}));
  std::vector<float> x(q.size());
  dequantize_band(bytes, 12, x);
  EXPECT_EQ(
      x, (std::vector<float>{4660.0f / 4096, -2.0f / 4096, -8.0f, 32767.0f / 4096, 1.0f / 4096}));
  dequantize_band(bytes, 6, x);
  EXPECT_EQ(x[2], -512.0f);
}

}  // namespace
}  // namespace tessarine
