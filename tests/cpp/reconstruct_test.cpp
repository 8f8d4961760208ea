#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "codec/compressor.hpp"
#include "codec/decompressor.hpp"
#include "codec/reconstruct.hpp"

namespace tessarine {
namespace {

constexpr Method kMethods[] = {Method::Cdf53, Method::Cdf97, Method::Db4, Method::Sym4};
constexpr Cutoff kCutoffs[] = {Cutoff::Low, Cutoff::Medium, Cutoff::High};
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

std::vector<float> noisy_ramp(std::size_t n) {
  std::vector<float> x(n);
  std::uint32_t state = 12345;
  for (std::size_t i = 0; i < n; ++i) {
    state = state * 1664525u + 1013904223u;
    x[i] = static_cast<float>(i) * 0.01f + static_cast<float>(state >> 8) * 1e-7f;
  }
  return x;
}

std::vector<std::uint32_t> bits_of(const std::vector<float>& x) {
  std::vector<std::uint32_t> bits;
  for (float v : x) bits.push_back(std::bit_cast<std::uint32_t>(v));
  return bits;
}

void expect_same_as_round_trip(const std::vector<float>& x, const CompressionOptions& options) {
  const auto container = compress(x, options);
  ASSERT_TRUE(container) << container.error().display();
  const auto decoded = decompress(*container);
  ASSERT_TRUE(decoded) << decoded.error().display();
  const auto rebuilt = reconstruct(x, options);
  ASSERT_TRUE(rebuilt) << rebuilt.error().display();
  EXPECT_EQ(bits_of(*rebuilt), bits_of(*decoded)) << "n=" << x.size();
}

TEST(Reconstruct, MatchesRoundTripForEverySetting) {
  const std::vector<float> x = noisy_ramp(1000);
  for (Method method : kMethods) {
    for (std::uint8_t scale = kMinScale; scale <= kMaxScale; ++scale) {
      for (Cutoff cutoff : kCutoffs) expect_same_as_round_trip(x, {method, scale, cutoff});
    }
  }
}

TEST(Reconstruct, MatchesRoundTripForShortFlatAndNonFiniteSignals) {
  std::vector<std::vector<float>> signals = {{5.0f}, std::vector<float>(33, -2.5f),
                                             {kNaN, 1.0f, 2.0f}, {kInf, -kInf}};
  for (std::size_t n = 1; n <= 90; ++n) signals.push_back(noisy_ramp(n));
  for (const auto& x : signals) {
    for (Method method : kMethods) {
      expect_same_as_round_trip(x, {method, 9, Cutoff::Medium, Coder::Deflate});
    }
  }
}

TEST(Reconstruct, FailsWhereCompressFails) {
  const std::vector<float> huge = {-3e38f, 3e38f};
  for (const std::vector<float>& x : {std::vector<float>{}, huge}) {
    const auto expected = compress(x, {});
    const auto actual = reconstruct(x, {});
    ASSERT_FALSE(expected);
    ASSERT_FALSE(actual);
    EXPECT_EQ(actual.error().display(), expected.error().display());
  }
}

}  // namespace
}  // namespace tessarine
