// The 8-tap filter banks of every tier inside the multi-level driver, as the codec uses them.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "vibrel/filter_bank/completed_dwt_executor.hpp"
#include "vibrel/cpu/cpu_features.hpp"
#include "vibrel/tables/daubechies.hpp"
#include "vibrel/filter_bank/filter_banks.hpp"

namespace vibrel {
namespace {

template <class E>
bool can_run() {
  if constexpr (std::is_same_v<E, SseWavelet8TapsF32> || std::is_same_v<E, SseWaveletNTapsF32>) {
    return has_sse_tier();
  } else if constexpr (std::is_same_v<E, AvxWavelet8TapsF32> ||
                       std::is_same_v<E, AvxWaveletNTapsF32>) {
    return has_avx_tier();
  }
  return true;
}

std::vector<f32> f32_taps(std::span<const double> table) {
  return std::vector<f32>(table.begin(), table.end());
}

std::vector<f32> random_signal(std::size_t n) {
  std::mt19937 rng(static_cast<unsigned>(n));
  std::uniform_real_distribution<f32> uniform(-1.0f, 1.0f);
  std::vector<f32> x(n);
  for (f32& v : x) v = uniform(rng);
  return x;
}

template <class E>
class EightTapDriver : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!can_run<E>()) GTEST_SKIP() << "processor lacks this instruction set";
  }

  // db4 with periodic borders, wrapped as the factory wraps it.
  CompletedDwtExecutor make(BorderMode mode = BorderMode::Wrap) const {
    const std::vector<f32> taps = f32_taps(daubechies_taps(DaubechiesWavelet::Db4));
    auto inner = std::make_shared<const E>(mode, taps);
    const std::size_t length = inner->filter_length();
    return CompletedDwtExecutor(std::move(inner), length);
  }
};

using EightTapMembers = ::testing::Types<Wavelet8Taps, SseWavelet8TapsF32, AvxWavelet8TapsF32,
                                         WaveletNTaps, SseWaveletNTapsF32, AvxWaveletNTapsF32>;
TYPED_TEST_SUITE(EightTapDriver, EightTapMembers);

TYPED_TEST(EightTapDriver, SizesOfOneLevel) {
  const CompletedDwtExecutor executor = this->make();
  EXPECT_EQ(executor.filter_length(), 8u);
  struct Case {
    std::size_t n, m, reconstructed;
  };
  for (const Case c : {Case{8, 7, 8}, Case{9, 8, 10}, Case{100, 53, 100}, Case{101, 54, 102}}) {
    EXPECT_EQ(executor.dwt_size(c.n), (DwtSize{c.m, c.m})) << c.n;
    EXPECT_EQ(executor.idwt_size({c.m, c.m}), c.reconstructed) << c.n;
    const Dwt<f32> level = executor.dwt(random_signal(c.n), 1).value();
    EXPECT_EQ(level.approximations.size(), c.m);
    EXPECT_EQ(level.details.size(), c.m);
  }
}

TYPED_TEST(EightTapDriver, ThreeLevelsOfAHundredSamplesRoundTrip) {
  for (BorderMode mode : {BorderMode::Wrap, BorderMode::Reflect101, BorderMode::Constant}) {
    const CompletedDwtExecutor executor = this->make(mode);
    const std::vector<f32> x = random_signal(100);
    const MultiDwt<f32> bands = executor.multi_dwt(x, 3).value();
    ASSERT_EQ(bands.levels.size(), 3u);
    const std::size_t expected[] = {53, 30, 18};
    for (std::size_t level = 0; level < 3; ++level) {
      EXPECT_EQ(bands.levels[level].approximations.size(), expected[level]);
      EXPECT_EQ(bands.levels[level].details.size(), expected[level]);
    }
    const std::vector<f32> y = executor.multi_idwt(view_of(bands)).value();
    ASSERT_EQ(y.size(), 100u);
    for (std::size_t i = 0; i < x.size(); ++i) ASSERT_NEAR(y[i], x[i], 2e-6f) << i;
  }
}

TYPED_TEST(EightTapDriver, LevelsStopAtTheFilterLength) {
  const CompletedDwtExecutor executor = this->make();
  const std::vector<f32> x = random_signal(20);
  // Level inputs 20, 13, 10, 8; a fifth level would decompose 7 samples.
  EXPECT_TRUE(executor.multi_dwt(x, 4).has_value());
  const auto too_deep = executor.multi_dwt(x, 5);
  ASSERT_FALSE(too_deep.has_value());
  EXPECT_EQ(too_deep.error().display(), "Buffer was too small for provided level");
  const auto too_short = executor.dwt(std::span(x).first(7), 1);
  ASSERT_FALSE(too_short.has_value());
  EXPECT_EQ(too_short.error().display(), "Input size 7 can't be less than 8");
}

}  // namespace
}  // namespace vibrel
