#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>

#include "predictive/half_float.hpp"

namespace tessarine::predictive {
namespace {

bool is_nan(std::uint16_t h) { return (h & 0x7C00u) == 0x7C00u && (h & 0x3FFu) != 0; }

TEST(HalfFloat, EveryHalfSurvivesWideningAndNarrowing) {
  for (std::uint32_t h = 0; h <= 0xFFFF; ++h) {
    const auto half = static_cast<std::uint16_t>(h);
    const std::uint16_t back = double_to_half(half_to_double(half));
    if (is_nan(half)) {
      EXPECT_EQ(back, half | 0x0200u) << h;  // same payload, quieted
    } else {
      EXPECT_EQ(back, half) << h;
    }
  }
}

// Between every two neighbouring finite halves of one sign: the midpoint goes to the even one
// and anything off the midpoint to the nearer one; past the largest, to infinity.
TEST(HalfFloat, NarrowingRoundsToNearestEven) {
  for (std::uint16_t sign : {std::uint16_t{0}, std::uint16_t{0x8000}}) {
    for (std::uint16_t h = 0; h < 0x7BFF; ++h) {
      const auto low = static_cast<std::uint16_t>(sign | h);
      const auto high = static_cast<std::uint16_t>(sign | (h + 1));
      const double a = half_to_double(low);
      const double b = half_to_double(high);
      const double mid = (a + b) / 2;  // exact: halves have few bits
      EXPECT_EQ(double_to_half(mid), (h & 1) ? high : low) << h;
      EXPECT_EQ(double_to_half(std::nextafter(mid, a)), low) << h;
      EXPECT_EQ(double_to_half(std::nextafter(mid, b)), high) << h;
    }
  }
  EXPECT_EQ(double_to_half(65519.99), 0x7BFFu);
  EXPECT_EQ(double_to_half(65520.0), 0x7C00u);
  EXPECT_EQ(double_to_half(-1e300), 0xFC00u);
  EXPECT_EQ(double_to_half(0x1p-26), 0x0000u);  // below half the smallest subnormal
  EXPECT_EQ(double_to_half(-0.0), 0x8000u);
}

}  // namespace
}  // namespace tessarine::predictive
