#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "predictive/lpc.hpp"

namespace tessarine::predictive {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr LpcSample kEveryBlock{1024, 1024, 1024};

// A resonance x[i] = 1.6 x[i-1] - 0.8 x[i-2] + noise (about 300 across), with a spike of 1000
// every 97 samples.
std::vector<std::int64_t> resonance_with_spikes(std::size_t n) {
  std::mt19937 rng(7);
  std::normal_distribution<double> noise(0.0, 20.0);
  std::vector<double> y(n, 0.0);
  for (std::size_t i = 2; i < n; ++i) y[i] = 1.6 * y[i - 1] - 0.8 * y[i - 2] + noise(rng);
  std::vector<std::int64_t> x(n);
  for (std::size_t i = 0; i < n; ++i) x[i] = std::llround(y[i]) + (i % 97 == 0 ? 1000 : 0);
  return x;
}

double weight(const LpcFilter& f, std::size_t j) {
  return std::ldexp(f.coefficients[j], -static_cast<int>(f.shift));
}

double rough_bits(const std::vector<std::int64_t>& x, const LpcFilter& f) {
  const WideLpc wide(f);
  LpcHistory h;
  double bits = 0.0;
  for (const std::int64_t v : x) {
    bits += std::log2(1.0 + std::fabs(static_cast<double>(v - lpc_predict(wide, h))));
    h.push(v);
  }
  return bits;
}

// The spikes pull the least-squares weights toward zero; the reweighting steps move them back
// toward the resonance and cut the residuals' bits.
TEST(LpcFit, RefiningAgainstSpikesCutsTheBits) {
  const auto x = resonance_with_spikes(32768);
  LpcFilter plain;
  LpcFilter refined;
  // With nothing to beat the steps are skipped: the plain least-squares fit.
  ASSERT_TRUE(fit_lpc(x.data(), x.size(), kEveryBlock, 0.0, plain));
  ASSERT_TRUE(fit_lpc(x.data(), x.size(), kEveryBlock, kInfinity, refined));
  EXPECT_LT(weight(plain, 0), 0.5);
  EXPECT_GT(weight(refined, 0), weight(plain, 0) + 0.2);
  EXPECT_LT(rough_bits(x, refined), 0.95 * rough_bits(x, plain));
}

TEST(LpcFit, NothingToFit) {
  LpcFilter f;
  const std::vector<std::int64_t> zeros(4096, 0);
  EXPECT_FALSE(fit_lpc(zeros.data(), zeros.size(), kEveryBlock, kInfinity, f));
  const std::vector<std::int64_t> tiny(2 * kLpcOrder, 5);
  EXPECT_FALSE(fit_lpc(tiny.data(), tiny.size(), kEveryBlock, kInfinity, f));
}

// Values near 2^31 whose every three neighbours sum to zero: the steps still find the
// recurrence x[i] = -x[i-1] - x[i-2], with no overflow in their sums.
TEST(LpcFit, HugeValuesStillGiveTheExactRecurrence) {
  const std::int64_t pattern[3] = {std::int64_t{1} << 30, std::int64_t{1} << 30,
                                   -(std::int64_t{1} << 31)};
  std::vector<std::int64_t> x(8192);
  for (std::size_t i = 0; i < x.size(); ++i) x[i] = pattern[i % 3];
  LpcFilter f;
  ASSERT_TRUE(fit_lpc(x.data(), x.size(), kEveryBlock, kInfinity, f));
  const WideLpc wide(f);
  LpcHistory h;
  for (std::size_t i = 0; i < x.size(); ++i) {
    if (i >= kLpcOrder) {
      ASSERT_LT(std::llabs(x[i] - lpc_predict(wide, h)), std::int64_t{1} << 20) << i;
    }
    h.push(x[i]);
  }
}

// Asked to keep every sum within 32 bits for values up to a magnitude, the fit lowers its
// scale until they do, and the coefficients keep their weights.
TEST(LpcFit, LowersItsScaleUntilSumsFit32Bits) {
  const auto x = resonance_with_spikes(32768);
  constexpr std::int64_t kLargest = std::int64_t{1} << 20;
  LpcFilter free;
  LpcFilter narrowed;
  ASSERT_TRUE(fit_lpc(x.data(), x.size(), kEveryBlock, 0.0, free));
  ASSERT_TRUE(fit_lpc(x.data(), x.size(), kEveryBlock, 0.0, narrowed, kLargest));
  EXPECT_FALSE(sums_fit_32_bits(free, kLargest));
  EXPECT_TRUE(sums_fit_32_bits(narrowed, kLargest));
  EXPECT_LT(narrowed.shift, free.shift);
  for (std::size_t j = 0; j < kLpcOrder; ++j)
    EXPECT_NEAR(weight(narrowed, j), weight(free, j), 0.01) << j;
}

}  // namespace
}  // namespace tessarine::predictive
