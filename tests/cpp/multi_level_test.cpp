#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "band_storage.hpp"
#include "vibrel/filter_bank/completed_dwt_executor.hpp"

namespace vibrel {
namespace {

// Orthonormal Haar pair with the expansive size rule of the filter banks (m = (n + L - 1) / 2,
// inverse 2m - L + 2 with L = 2), periodic border: enough to exercise the driver's trimming.
class TestHaar final : public IncompleteDwtExecutor<f32> {
 public:
  VibrelResult<void> execute_forward(std::span<const f32> x, std::span<f32> a,
                                     std::span<f32> d) const override {
    if (x.size() < 2) return std::unexpected(VibrelError::input_too_short(x.size(), 2));
    const std::size_t m = dwt_size(x.size()).approximation_length;
    if (a.size() != m) return std::unexpected(VibrelError::half_size_mismatch(a.size()));
    if (d.size() != m) return std::unexpected(VibrelError::half_size_mismatch(d.size()));
    const f32 h = std::sqrt(0.5f);
    for (std::size_t i = 0; i < m; ++i) {
      const f32 first = x[2 * i];
      const f32 second = x[(2 * i + 1) % x.size()];
      a[i] = h * first + h * second;
      d[i] = h * first - h * second;
    }
    return {};
  }
  VibrelResult<void> execute_forward_with_scratch(std::span<const f32> x, std::span<f32> a,
                                                  std::span<f32> d,
                                                  std::span<f32>) const override {
    return execute_forward(x, a, d);
  }
  std::size_t required_scratch_size(std::size_t) const override { return 0; }
  DwtSize dwt_size(std::size_t n) const override { return {(n + 1) / 2, (n + 1) / 2}; }
  VibrelResult<void> execute_inverse(std::span<const f32> a, std::span<const f32> d,
                                     std::span<f32> y) const override {
    if (a.size() != d.size()) {
      return std::unexpected(VibrelError::approx_details_mismatch(a.size(), d.size()));
    }
    if (y.size() != 2 * a.size()) {
      return std::unexpected(VibrelError::output_size_mismatch(y.size(), 2 * a.size()));
    }
    const f32 h = std::sqrt(0.5f);
    for (std::size_t i = 0; i < a.size(); ++i) {
      y[2 * i] += h * a[i] + h * d[i];
      y[2 * i + 1] += h * a[i] - h * d[i];
    }
    return {};
  }
  std::size_t idwt_size(DwtSize size) const override { return 2 * size.approximation_length; }
  std::size_t filter_length() const override { return 2; }
};

CompletedDwtExecutor make_driver() {
  return CompletedDwtExecutor(std::make_shared<TestHaar>(), 2);
}

std::vector<f32> ramp(std::size_t n) {
  std::vector<f32> x(n);
  for (std::size_t i = 0; i < n; ++i) x[i] = std::sin(0.3f * static_cast<f32>(i)) + 0.01f * i;
  return x;
}

TEST(MultiLevelDriver, ZeroAndOneLevelGiveOneDwt) {
  const auto driver = make_driver();
  const auto x = ramp(11);
  for (std::size_t levels : {0u, 1u}) {
    auto result = driver.multi_dwt(x, levels);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->levels.size(), 1u);
    EXPECT_EQ(result->levels[0].approximations.size(), 6u);
  }
}

TEST(MultiLevelDriver, OddLengthsReconstructThroughTrimming) {
  const auto driver = make_driver();
  for (std::size_t n = 2; n <= 200; ++n) {
    const auto x = ramp(n);
    std::size_t levels = 1;
    while ((n >> levels) >= 2) ++levels;
    auto result = driver.multi_dwt(x, levels);
    ASSERT_TRUE(result.has_value()) << n;
    ASSERT_EQ(result->levels.size(), levels);
    for (std::size_t k = 1; k < levels; ++k) {
      EXPECT_EQ(result->levels[k].approximations.size(),
                (result->levels[k - 1].approximations.size() + 1) / 2);
    }
    auto back = driver.multi_idwt(view_of(*result));
    ASSERT_TRUE(back.has_value()) << back.error().display();
    ASSERT_GE(back->size(), n);
    ASSERT_LE(back->size(), n + 1);
    for (std::size_t i = 0; i < n; ++i) EXPECT_NEAR((*back)[i], x[i], 1e-5f) << n << " " << i;
  }
}

TEST(MultiLevelDriver, ConsumingTransformsMatchTheirViewForms) {
  const auto driver = make_driver();
  for (std::size_t n = 2; n <= 200; n += 3) {
    for (std::size_t levels = 1; (n >> levels) >= 1; ++levels) {
      const auto result = driver.multi_dwt(ramp(n), levels);
      if (!result) break;
      const auto consumed = driver.multi_dwt_consuming(ramp(n), levels);
      ASSERT_TRUE(consumed.has_value());
      EXPECT_EQ(consumed->levels.back().approximations, result->levels.back().approximations);
      for (std::size_t k = 0; k < levels; ++k) {
        EXPECT_EQ(consumed->levels[k].details, result->levels[k].details);
        // Braced: EXPECT_TRUE expands to an if/else of its own.
        if (k + 1 < levels) {
          EXPECT_TRUE(consumed->levels[k].approximations.empty());
        }
      }
      const auto want = driver.multi_idwt(view_of(*result));
      const auto got = driver.multi_idwt_consuming(storage_of(*result));
      ASSERT_TRUE(want.has_value() && got.has_value()) << n << " " << levels;
      EXPECT_EQ(*got, *want) << n << " " << levels;
    }
  }
  // A finer band longer than the reconstruction before it: the same error as multi_idwt.
  const auto refused = driver.multi_idwt_consuming({std::vector<f32>(13, 1.0f), 2, {2, 9}});
  ASSERT_FALSE(refused.has_value());
  EXPECT_EQ(refused.error().display(), "Approx and details must match, but they don't 4x9");
}

TEST(MultiLevelDriver, DwtKeepsOnlyTheDeepestLevel) {
  const auto driver = make_driver();
  const auto x = ramp(40);
  auto deep = driver.dwt(x, 3);
  auto all = driver.multi_dwt(x, 3);
  ASSERT_TRUE(deep && all);
  EXPECT_EQ(deep->approximations, all->levels[2].approximations);
  EXPECT_EQ(deep->details, all->levels[2].details);
}

TEST(MultiLevelDriver, Errors) {
  const auto driver = make_driver();
  const auto x = ramp(4);
  // Levels of 4, 2, 1 samples: the third level is shorter than the filter.
  EXPECT_EQ(driver.multi_dwt(x, 3).error().display(), "Buffer was too small for provided level");
  EXPECT_EQ(driver.dwt(x, 3).error().display(), "Buffer was too small for provided level");
  // One level is left to the inner executor's own check.
  EXPECT_EQ(driver.dwt(std::span<const f32>(x).first(1), 1).error().display(),
            "Input size 1 can't be less than 2");

  const std::vector<f32> five(5, 1.0f), four(4, 1.0f);
  EXPECT_EQ(driver.idwt({five, four}).error().display(),
            "Approx and details must match, but they don't 5x4");
  MultiDwtView<f32> empty;
  empty.approximation = five;
  EXPECT_EQ(driver.multi_idwt(empty).error().display(), "Zero sized input is not supported");
  MultiDwtView<f32> no_approximation;
  no_approximation.details.emplace_back(four);
  EXPECT_EQ(driver.multi_idwt(no_approximation).error().display(),
            "Zero sized input is not supported");
  // A finer details band longer than the coarser reconstruction.
  MultiDwtView<f32> mismatched;
  const std::vector<f32> two(2, 1.0f), nine(9, 1.0f);
  mismatched.details = {nine, two};
  mismatched.approximation = two;
  EXPECT_EQ(driver.multi_idwt(mismatched).error().display(),
            "Approx and details must match, but they don't 4x9");
}

TEST(VibrelErrorText, EveryKind) {
  const std::pair<VibrelError, const char*> cases[] = {
      {VibrelError::allocation_failure(12), "Cannot allocate 12 bytes to vector"},
      {VibrelError::half_size_mismatch(7),
       "Approximation and details expected to be half of original signal length but it was 7"},
      {VibrelError::approx_details_mismatch(5, 4),
       "Approx and details must match, but they don't 5x4"},
      {VibrelError::input_not_divisible(2), "Input must be divisible by 2"},
      {VibrelError::overflow(), "Overflow is happened"},
      {VibrelError::output_size_mismatch(7, 8), "Output size should be 8, but it was 7"},
      {VibrelError::input_too_short(2, 3), "Input size 2 can't be less than 3"},
      {VibrelError::input_output_size_mismatch(3, 4), "Input size 3 does not match output size 4"},
      {VibrelError::invalid_wavelet_length(), "Zero or odd sized wavelet"},
      {VibrelError::filter_center_out_of_range(9, 8), "Filter center 9 was larger than filter size 8"},
      {VibrelError::buffer_too_small_for_level(), "Buffer was too small for provided level"},
      {VibrelError::approx_size_mismatch(3, 5), "Approximate size 3 does not match required size 5"},
      {VibrelError::details_size_mismatch(1, 5), "Details size 1 does not match required size 5"},
      {VibrelError::zero_sized_input(), "Zero sized input is not supported"},
      {VibrelError::input_size_mismatch(10, 9), "Input size expected to be 10 but it was 9"},
      {VibrelError::scratch_size_mismatch(14, 13), "Scratch size expected to be 14 but it was 13"},
  };
  for (const auto& [error, text] : cases) EXPECT_EQ(error.display(), text);
}

}  // namespace
}  // namespace vibrel
