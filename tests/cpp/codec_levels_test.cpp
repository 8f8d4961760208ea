#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>

#include "codec/levels.hpp"

namespace tessarine {
namespace {

// Filter lengths of CDF 5/3, the 8-tap orthogonal wavelets and CDF 9/7.
constexpr std::size_t kFilterLengths[] = {6, 8, 10};

TEST(Levels, FixedStepsBelowEightySamplesForEveryFilter) {
  struct Case {
    std::size_t n;
    std::uint32_t levels;
  };
  const Case cases[] = {{1, 1}, {19, 1}, {20, 2}, {39, 2}, {40, 3}, {59, 3}, {60, 4}, {79, 4}};
  for (const std::size_t f : kFilterLengths) {
    for (const Case& c : cases) EXPECT_EQ(decomposition_levels(c.n, f), c.levels) << c.n;
    EXPECT_EQ(decomposition_levels(80, f), compute_max_levels(80, f));
    EXPECT_EQ(decomposition_levels(80, f), 3u) << f;
  }
}

TEST(Levels, MaxLevelsTable) {
  struct Case {
    std::size_t n, f;
    std::uint32_t levels;
  };
  const Case cases[] = {
      {0, 10, 1},        {9, 10, 1},  {10, 10, 1},  {19, 10, 1},  {20, 10, 1},        {39, 10, 1},
      {40, 10, 2},       {80, 10, 3}, {159, 10, 3}, {160, 10, 4}, {2559, 10, 7},      {2560, 10, 8},
      {1u << 30, 10, 8}, {80, 6, 3},  {96, 6, 4},   {80, 8, 3},   {2147483647, 8, 8},
  };
  for (const Case& c : cases) EXPECT_EQ(compute_max_levels(c.n, c.f), c.levels) << c.n;
  // The depth drops at 80 samples for a 10-tap filter: stored containers rely on this.
  EXPECT_EQ(decomposition_levels(79, 10), 4u);
  EXPECT_EQ(decomposition_levels(80, 10), 3u);
}

}  // namespace
}  // namespace tessarine
