#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "border_reference.hpp"
#include "vibrel/filter_bank/arena_writer.hpp"
#include "vibrel/kernel/filter_padding.hpp"

namespace vibrel {
namespace {

using testing::kAllBorderModes;
using testing::reference_border_index;

constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

std::string name_of(BorderMode mode) {
  return "mode " + std::to_string(static_cast<std::uint32_t>(mode));
}

// Extends through BorderInterpolation and through the public arena writer; both must give
// the expected samples.
void expect_extension(const std::vector<f32>& signal, std::size_t left, std::size_t right,
                      BorderMode mode, const std::vector<f32>& expected) {
  SCOPED_TRACE(name_of(mode));
  const auto border =
      BorderInterpolation::make(mode, 0, static_cast<std::int64_t>(signal.size()));
  std::vector<f32> mapped;
  const std::int64_t end = static_cast<std::int64_t>(signal.size() + right);
  for (std::int64_t i = -static_cast<std::int64_t>(left); i < end; ++i) {
    mapped.push_back(border.sample(signal.data(), i));
  }
  EXPECT_EQ(mapped, expected);

  std::vector<f32> arena(expected.size(), -99.0f);
  ASSERT_TRUE(write_arena_1d(signal, arena, left, right, mode).has_value());
  EXPECT_EQ(arena, expected);
}

TEST(BorderMode, ExtendsFourSamplesByTwoOnEachSide) {
  const std::vector<f32> signal{1, 2, 3, 4};
  const struct {
    BorderMode mode;
    std::vector<f32> expected;
  } cases[] = {
      {BorderMode::Clamp, {1, 1, 1, 2, 3, 4, 4, 4}},
      {BorderMode::Wrap, {3, 4, 1, 2, 3, 4, 1, 2}},
      {BorderMode::Reflect, {2, 1, 1, 2, 3, 4, 4, 3}},
      {BorderMode::Reflect101, {3, 2, 1, 2, 3, 4, 3, 2}},
      {BorderMode::Constant, {0, 0, 1, 2, 3, 4, 0, 0}},
  };
  for (const auto& c : cases) expect_extension(signal, 2, 2, c.mode, c.expected);
}

TEST(BorderMode, ShortSignals) {
  expect_extension({7}, 3, 2, BorderMode::Reflect101, {7, 7, 7, 7, 7, 7});
  expect_extension({7}, 2, 2, BorderMode::Reflect, {7, 7, 7, 7, 7});
  expect_extension({1, 2}, 3, 0, BorderMode::Wrap, {2, 1, 2, 1, 2});
  // Two samples: the mirror that skips the edge reads the other sample on each side.
  expect_extension({1, 2}, 1, 1, BorderMode::Reflect101, {2, 1, 2, 1});
  expect_extension({1, 2, 3}, 2, 2, BorderMode::Reflect101, {3, 2, 1, 2, 3, 2, 1});
}

TEST(BorderMode, EmptySignalReadsNothing) {
  for (BorderMode mode : kAllBorderModes) {
    const auto border = BorderInterpolation::make(mode, 0, 0);
    for (std::int64_t i : {kMin, std::int64_t{-1}, std::int64_t{0}, std::int64_t{1}, kMax}) {
      EXPECT_EQ(border.map_index(i), -1) << name_of(mode) << " position " << i;
    }
    EXPECT_EQ(border.sample(nullptr, 0), 0.0f);
  }
}

// Positions anywhere, far out included, against the table's remainder formulas.
TEST(BorderMode, MapsEveryPositionByTheRemainderFormulas) {
  const std::int64_t p62 = std::int64_t{1} << 62;
  const std::int64_t p40 = std::int64_t{1} << 40;
  const std::vector<std::int64_t> far{kMin, kMin + 1, kMax, kMax - 1, -p62, p62, -p40 - 3, p40 + 5};
  for (BorderMode mode : kAllBorderModes) {
    for (std::int64_t length = 1; length <= 40; ++length) {
      const auto border = BorderInterpolation::make(mode, 0, length);
      std::vector<std::int64_t> positions = far;
      for (std::int64_t i = -5 * length - 3; i <= 6 * length + 3; ++i) positions.push_back(i);
      for (std::int64_t position : positions) {
        ASSERT_EQ(border.map_index(position), reference_border_index(mode, position, length))
            << name_of(mode) << " length " << length << " position " << position;
      }
    }
  }
}

TEST(BorderMode, LowerBoundShiftsTheSignal) {
  for (BorderMode mode : kAllBorderModes) {
    const auto border = BorderInterpolation::make(mode, 5, 7);
    for (std::int64_t position = -30; position <= 40; ++position) {
      EXPECT_EQ(border.map_index(position), reference_border_index(mode, position - 5, 7))
          << name_of(mode) << " position " << position;
    }
  }
}

TEST(BorderMode, LargeSignalsFoldWithoutOverflow) {
  const std::vector<std::int64_t> lengths{(std::int64_t{1} << 62) + 1, kMax,
                                          (std::int64_t{1} << 33) - 1, 3};
  for (std::int64_t length : lengths) {
    for (BorderMode mode : kAllBorderModes) {
      const auto border = BorderInterpolation::make(mode, 0, length);
      const std::vector<std::int64_t> positions{kMin, kMin + 7, -length, -1, length, kMax};
      for (std::int64_t position : positions) {
        EXPECT_EQ(border.map_index(position), reference_border_index(mode, position, length))
            << name_of(mode) << " length " << length << " position " << position;
      }
    }
  }
}

}  // namespace
}  // namespace vibrel
