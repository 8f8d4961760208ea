#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "predictive/float_format.hpp"
#include "predictive/float_quantiser.hpp"
#include "predictive/lossless_grid.hpp"

namespace tessarine::predictive {
namespace {

// Where the rounded difference equals the bound, only the exact one may decide.
TEST(WithinBound, DecidesInExactArithmeticAtTheEdge) {
  struct Case {
    double x, y, bound;
    bool within;
  };
  const double one_up = 1.0 + 0x1p-52;
  const Case cases[] = {
      {one_up, -0x1p-54, one_up, false},  // exact 1 + 1.25 ulp rounds down to the bound
      {one_up, 0x1p-54, one_up, true},    // exact 1 + 0.75 ulp rounds up to the bound
      {-one_up, 0x1p-54, one_up, false},
      {-one_up, -0x1p-54, one_up, true},
      {3.0, 2.0, 1.0, true},
      {3.0, 2.0, std::nextafter(1.0, 0.0), false},
      {0.0, -0.0, 0.0, false},  // a bound of 0 is lossless: a zero keeps its sign
      {-0.0, -0.0, 0.0, true},
      {0.0, -0.0, 0x1p-1074, true},
      {std::numeric_limits<double>::infinity(), 1.0, 1e300, false},
      {std::nan(""), 1.0, 1e300, false},
      {std::numeric_limits<double>::max(), -std::numeric_limits<double>::max(), 1e308, false},
  };
  for (const Case& c : cases) EXPECT_EQ(within_bound(c.x, c.y, c.bound), c.within) << c.x << " " << c.y;
}

// Reconstructions beyond float's range round as IEEE does: to the largest float below the
// halfway point to 2^128, to infinity from it on; every NaN becomes the one quiet NaN.
TEST(SingleFormat, NarrowsAtTheEdgeOfTheRange) {
  constexpr float kMax = std::numeric_limits<float>::max();
  constexpr float kInf = std::numeric_limits<float>::infinity();
  const auto bits = [](float f) { return std::bit_cast<std::uint32_t>(f); };
  EXPECT_EQ(SingleFormat::narrow(kMax), kMax);
  EXPECT_EQ(SingleFormat::narrow(std::nextafter(0x1.ffffffp127, 0.0)), kMax);
  EXPECT_EQ(SingleFormat::narrow(0x1.ffffffp127), kInf);
  EXPECT_EQ(SingleFormat::narrow(-0x1.ffffffp127), -kInf);
  EXPECT_EQ(SingleFormat::narrow(1e300), kInf);
  EXPECT_EQ(SingleFormat::narrow(-std::numeric_limits<double>::infinity()), -kInf);
  const double payload_nan = std::bit_cast<double>(std::uint64_t{0xFFF0'0000'0000'1234});
  EXPECT_EQ(bits(SingleFormat::narrow(payload_nan)), 0x7FC00000u);
  EXPECT_EQ(bits(SingleFormat::narrow(-0.0)), 0x80000000u);
}

// Converter codes times a gain, as float32: the grid found gives every sample back exactly;
// noise has none.
TEST(LosslessGrid, FindsTheGridOfScaledCodesAndNoneInNoise) {
  std::mt19937 rng(3);
  std::uniform_int_distribution<int> code(-2048, 2047);
  std::vector<float> scaled(50000);
  for (float& v : scaled) v = static_cast<float>(code(rng) * (200.0 / 4095) + 12.5);
  const SampleView view{reinterpret_cast<const std::byte*>(scaled.data()), scaled.size(), 4,
                        SampleType{'f', 4}};
  const Grid grid = find_lossless_grid<SingleFormat>(view);
  ASSERT_GT(grid.spacing, 0.0);
  std::size_t misses = 0;
  for (const float v : scaled) misses += !on_lossless_grid<SingleFormat>(v, grid);
  EXPECT_LE(misses, scaled.size() / 64);

  std::normal_distribution<float> normal;
  for (float& v : scaled) v = normal(rng);
  EXPECT_EQ(find_lossless_grid<SingleFormat>(view).spacing, 0.0);
}

}  // namespace
}  // namespace tessarine::predictive
