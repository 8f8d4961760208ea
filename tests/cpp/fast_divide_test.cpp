#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "vibrel/kernel/fast_divide.hpp"

namespace vibrel {
namespace {

constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

std::vector<std::int64_t> divisors() {
  std::vector<std::int64_t> d;
  for (std::int64_t v = 1; v <= 10000; ++v) d.push_back(v);
  for (int k = 1; k <= 62; ++k) {
    const std::int64_t power = std::int64_t{1} << k;
    d.insert(d.end(), {power, power - 1, power + 1, power + 3});
    if (power > 3) d.push_back(power - 3);
  }
  for (std::int64_t k = 1; k <= 1000; ++k) {
    d.insert(d.end(), {(std::int64_t{1} << 62) - k, (std::int64_t{1} << 62) + k * 7919, kMax - k});
  }
  d.insert(d.end(), {kMax, 1000000007, 2147483647, 4294967291, 6700417, 999999999989});
  return d;
}

// Numerators that stress rounding at multiples of d, the sign change and both extremes,
// plus a fixed pseudo-random sample.
std::vector<std::int64_t> numerators(std::int64_t d, std::mt19937_64& random) {
  std::vector<std::int64_t> v{0, 1, -1, 2, -2, kMin, kMin + 1, kMax, kMax - 1};
  for (std::int64_t multiple : {std::int64_t{1}, std::int64_t{2}, std::int64_t{3}, kMax / d}) {
    if (multiple > kMax / d) continue;
    const std::int64_t m = multiple * d;
    v.insert(v.end(), {m, m - 1, -m, -m + 1});
    if (m < kMax) v.push_back(m + 1);
    if (-m > kMin) v.push_back(-m - 1);
  }
  for (int k = 0; k < 24; ++k) {
    const auto r = static_cast<std::int64_t>(random());
    v.insert(v.end(), {r, r >> (k % 63)});
  }
  return v;
}

TEST(DividerI64, MatchesHardwareDivision) {
  std::mt19937_64 random(20240611);
  for (std::int64_t d : divisors()) {
    const DividerI64 divider = DividerI64::make(d);
    for (std::int64_t v : numerators(d, random)) {
      ASSERT_EQ(divider.divide(v), v / d) << v << " / " << d;
      const std::int64_t remainder = v % d < 0 ? v % d + d : v % d;
      ASSERT_EQ(divider.remainder_euclid(v), remainder) << v << " mod " << d;
    }
  }
}

TEST(DividerI64, StoresTheDivisorAndMarksPowersOfTwo) {
  for (std::int64_t d : divisors()) {
    const DividerI64 divider = DividerI64::make(d);
    const bool power_of_two = (d & (d - 1)) == 0;
    EXPECT_EQ(divider.divisor, d);
    EXPECT_EQ(divider.abs_divisor, static_cast<std::uint64_t>(d));
    EXPECT_EQ(divider.magic == 0, power_of_two) << d;
    EXPECT_EQ(divider.more & 0x80, 0) << d;  // the negative-divisor bit is never set
    EXPECT_LE(divider.more & DividerI64::kShiftMask, 62) << d;
  }
}

}  // namespace
}  // namespace vibrel
