#include "vibrel/lifting/cdf97f.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "lifting_test_support.hpp"

namespace vibrel {
namespace {

template <class Executor>
class Cdf97Test : public LiftingTest<Executor> {};
using Paths = ::testing::Types<Cdf97, AvxCdf97>;
TYPED_TEST_SUITE(Cdf97Test, Paths);

TYPED_TEST(Cdf97Test, SizeRules) {
  struct Case {
    std::size_t n, approximation, details;
  };
  for (const Case c :
       {Case{0, 2, 2}, {1, 2, 2}, {3, 2, 2}, {4, 2, 2}, {5, 3, 2}, {6, 3, 3}, {1001, 501, 500}}) {
    EXPECT_EQ(this->executor->dwt_size(c.n), (DwtSize{c.approximation, c.details})) << c.n;
    EXPECT_EQ(this->executor->required_scratch_size(c.n), 0u);
  }
  EXPECT_EQ(this->executor->idwt_size({3, 2}), 5u);
  EXPECT_EQ(this->executor->idwt_size({1, 1}), 4u);
  EXPECT_EQ(this->executor->filter_length(), 10u);
}

TYPED_TEST(Cdf97Test, ErrorTexts) {
  const auto& executor = *this->executor;
  const std::vector<f32> three{1, 2, 3};
  std::vector<f32> a(2, 7.0f), d(2, 7.0f), y(5, 7.0f), a3(3);
  EXPECT_EQ(executor.execute_forward(three, a, d).error().display(),
            "Input size 3 can't be less than 4");
  EXPECT_EQ(executor.execute_forward(std::vector<f32>(7), a, d).error().display(),
            "Approximate size 2 does not match required size 4");
  EXPECT_EQ(executor.execute_forward(std::vector<f32>(6), a3, d).error().display(),
            "Details size 2 does not match required size 3");
  EXPECT_EQ(executor.execute_inverse(a, d, y).error().display(),
            "Output size should be 4, but it was 5");
  EXPECT_EQ(
      executor.execute_inverse(a, std::vector<f32>(1), std::span(y).first(3)).error().display(),
      "Details size 1 does not match required size 2");
  EXPECT_EQ(a, std::vector<f32>(2, 7.0f));
  EXPECT_EQ(y, std::vector<f32>(5, 7.0f));
  const std::string too_small = "Buffer was too small for provided level";
  for (std::size_t level : {0u, 1u, 2u}) {
    EXPECT_EQ(executor.dwt(three, level).error().display(), too_small);
    EXPECT_EQ(executor.multi_dwt(three, level).error().display(), too_small);
  }
  EXPECT_EQ(executor.multi_idwt({{d}, {}}).error().display(), "Zero sized input is not supported");
  EXPECT_EQ(executor.multi_idwt({{}, a}).error().display(), "Zero sized input is not supported");
}

TYPED_TEST(Cdf97Test, ShortestSignalsRoundTrip) {
  for (const std::vector<f32>& x : {std::vector<f32>{1, 2, 3, 4}, {1, 2, 3, 4, 5}}) {
    EXPECT_LE(max_difference(this->inverse(this->forward(x)), x), 5 * kTolerance);
  }
}

TYPED_TEST(Cdf97Test, ForwardThenInverseReconstructsEveryLength) {
  this->expect_reconstructs_every_length();
}

TYPED_TEST(Cdf97Test, MultiLevelRoundTrips) {
  this->expect_multi_level_round_trips();
}

TYPED_TEST(Cdf97Test, MatchesReferenceBitForBit) {
  this->expect_matches_reference();
}

TYPED_TEST(Cdf97Test, ConsumingTransformsMatchTheirViewForms) {
  this->expect_consuming_transforms_match();
}

TEST(Cdf97Paths, AvxAgreesWithScalar) {
  expect_avx_agrees_with_scalar<Cdf97, AvxCdf97>();
}

TEST(Cdf97Scalar, ConstantGivesSqrtTwoAndZeroDetails) {
  for (std::size_t n : {7u, 8u}) {
    const std::vector<f32> ones(n, 1.0f);
    const auto bands = Cdf97().dwt(ones, 1);
    ASSERT_TRUE(bands.has_value());
    EXPECT_EQ(bands->approximations, std::vector<f32>(n - n / 2, 1.4142135f)) << n;
    EXPECT_EQ(bands->details, std::vector<f32>(n / 2, 0.0f)) << n;
    const auto y = Cdf97().idwt({bands->approximations, bands->details});
    ASSERT_TRUE(y.has_value());
    EXPECT_LE(max_difference(*y, ones), kTolerance);
  }
}

// The ramp is annihilated inside; only the mirrored borders leave details.
TEST(Cdf97Scalar, RampDetailsComeOnlyFromTheBorders) {
  std::vector<f32> ramp(32);
  for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<f32>(i);
  const auto bands = Cdf97().dwt(ramp, 1);
  ASSERT_TRUE(bands.has_value());
  const auto& d = bands->details;
  EXPECT_NEAR(d.front(), 0.1768f, 1e-4f);
  EXPECT_NEAR(d[14], -0.1291f, 1e-4f);
  EXPECT_NEAR(d[15], 0.6117f, 1e-4f);
  for (std::size_t k = 1; k + 2 < d.size(); ++k) EXPECT_NEAR(d[k], 0.0f, 32 * FLT_EPSILON) << k;
}

TEST(Cdf97Scalar, UpdateStepChecksItsBands) {
  std::vector<f32> odd{1, 2, 3};
  ASSERT_TRUE(dwt97_forward_update_even(odd, std::vector<f32>{4, 5}, 0.5f).has_value());
  EXPECT_EQ(odd, (std::vector<f32>{5, 6.5f, 8}));  // mirrored: 3 + (5 + 5) * 0.5
  std::vector<f32> even{1, 2};
  ASSERT_TRUE(dwt97_forward_update_even(even, std::vector<f32>{4, 5}, 0.5f).has_value());
  EXPECT_EQ(even, (std::vector<f32>{5, 6.5f}));
  std::vector<f32> one{1};
  EXPECT_EQ(dwt97_forward_update_even(one, std::vector<f32>{4}, 0.5f).error().display(),
            "Input size 1 can't be less than 2");
  EXPECT_EQ(dwt97_forward_update_even(odd, std::vector<f32>{4}, 0.5f).error().display(),
            "Details size 1 does not match required size 2");
  EXPECT_EQ(dwt97_forward_update_even(odd, std::vector<f32>(5), 0.5f).error().display(),
            "Details size 5 does not match required size 3");
  EXPECT_EQ(odd, (std::vector<f32>{5, 6.5f, 8}));
}

struct Golden {
  std::vector<f32> input;
  std::vector<double> approximation, details;
};

// Blocks of "<name> <count>" followed by count values; '#' lines are comments.
std::vector<Golden> read_golden(const std::string& path) {
  std::ifstream in(path);
  std::vector<Golden> cases;
  std::string name;
  std::size_t count = 0;
  while (in >> name) {
    if (name.starts_with("#")) {
      std::getline(in, name);
      continue;
    }
    in >> count;
    if (name == "input") cases.emplace_back();
    if (cases.empty()) break;
    for (std::size_t i = 0; i < count && in; ++i) {
      double v = 0;
      in >> v;
      if (name == "input") cases.back().input.push_back(static_cast<f32>(v));
      if (name == "approximation") cases.back().approximation.push_back(v);
      if (name == "details") cases.back().details.push_back(v);
    }
  }
  return cases;
}

// Cdf97 is PyWavelets' 'bior4.4' computed by lifting. With (cA, cD) = pywt.dwt(x, 'bior4.4',
// mode='symmetric'), away from the borders
//   approximations[k] == cA[k + 2]   and   details[k] == -cD[k + 2]:
// the same normalisation (a constant c gives c * sqrt(2) in both), the high-pass filter of
// opposite sign, and pywt's bands start two coefficients earlier because its output keeps the
// full convolution overlap. The two outermost coefficients at each end of a band differ: the
// lifting mirrors around the edge sample, pywt's symmetric mode repeats it.
TEST(Cdf97Scalar, MatchesPywtBior44AwayFromTheBorders) {
  const auto cases = read_golden(std::string(TESSARINE_TEST_DATA_DIR) + "/cdf97_bior44.txt");
  ASSERT_EQ(cases.size(), 2u);
  for (const Golden& g : cases) {
    const auto bands = Cdf97().dwt(g.input, 1);
    ASSERT_TRUE(bands.has_value());
    const auto& s = bands->approximations;
    const auto& d = bands->details;
    ASSERT_GE(g.approximation.size(), s.size() + 2);
    ASSERT_GE(g.details.size(), d.size() + 2);
    f32 scale = 0;
    for (f32 v : g.input) scale = std::max(scale, std::abs(v));
    // float32 lifting against a float64 convolution: rounding at the signal's magnitude.
    const double tolerance = 16 * FLT_EPSILON * scale;
    for (std::size_t k = 2; k + 2 < s.size(); ++k) {
      EXPECT_NEAR(s[k], g.approximation[k + 2], tolerance) << k;
    }
    for (std::size_t k = 2; k + 2 < d.size(); ++k) {
      EXPECT_NEAR(d[k], -g.details[k + 2], tolerance) << k;
    }
  }
}

}  // namespace
}  // namespace vibrel
