#include "vibrel/cdf97f.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "vibrel/cpu_features.hpp"

namespace vibrel {
namespace {

std::vector<f32> random_signal(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<f32> uniform(-1.0f, 1.0f);
  std::vector<f32> x(n);
  for (auto& v : x) v = uniform(rng);
  return x;
}

f32 max_difference(std::span<const f32> a, std::span<const f32> b) {
  EXPECT_EQ(a.size(), b.size());
  f32 worst = 0.0f;
  for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
    worst = std::max(worst, std::abs(a[i] - b[i]));
  }
  return worst;
}

// Unit-range signals through four lifting steps and a scaling each way.
constexpr f32 kTolerance = 8 * FLT_EPSILON;

// One whole pass per step, with the mirrored borders written as clamped indices: an
// independent statement of the per-coefficient formulas. `lift(sum, c, x)` is the path's
// rounding, so the executors must match it bit for bit whatever their blocking.
template <class Scheme, class Lift>
struct ReferenceLifting {
  static void predict(const std::vector<f32>& s, std::vector<f32>& d, f32 c, Lift lift) {
    for (std::size_t k = 0; k < d.size(); ++k) {
      d[k] = lift(s[k] + s[std::min(k + 1, s.size() - 1)], c, d[k]);
    }
  }
  static void update(std::vector<f32>& s, const std::vector<f32>& d, f32 c, Lift lift) {
    for (std::size_t k = 0; k < s.size(); ++k) {
      s[k] = lift(d[k == 0 ? 0 : k - 1] + d[std::min(k, d.size() - 1)], c, s[k]);
    }
  }
  static void step(std::vector<f32>& s, std::vector<f32>& d, const LiftingStep& step, f32 c,
                   Lift lift) {
    if (step.kind == LiftingStep::Kind::Predict) predict(s, d, c, lift);
    if (step.kind == LiftingStep::Kind::Update) update(s, d, c, lift);
  }
  static Dwt<f32> forward(const std::vector<f32>& x, Lift lift) {
    Dwt<f32> r;
    for (std::size_t i = 0; i < x.size(); ++i) (i % 2 ? r.details : r.approximations).push_back(x[i]);
    for (const LiftingStep& s : Scheme::kSteps) step(r.approximations, r.details, s, s.coefficient, lift);
    for (f32& v : r.approximations) v *= Scheme::kApproximationScale;
    for (f32& v : r.details) v *= Scheme::kDetailsScale;
    return r;
  }
  static std::vector<f32> inverse(Dwt<f32> r, Lift lift) {
    for (f32& v : r.approximations) v *= Scheme::kInverseApproximationScale;
    for (f32& v : r.details) v *= Scheme::kInverseDetailsScale;
    for (auto s = Scheme::kSteps.rbegin(); s != Scheme::kSteps.rend(); ++s) {
      step(r.approximations, r.details, *s, -s->coefficient, lift);
    }
    std::vector<f32> y;
    for (std::size_t k = 0; k < r.approximations.size(); ++k) {
      y.push_back(r.approximations[k]);
      if (k < r.details.size()) y.push_back(r.details[k]);
    }
    return y;
  }
};

f32 rounded_twice(f32 sum, f32 c, f32 x) { return sum * c + x; }
f32 fused(f32 sum, f32 c, f32 x) { return std::fma(sum, c, x); }

template <class Executor>
class Cdf97Test : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::is_same_v<Executor, AvxCdf97> && !has_avx_tier()) {
      GTEST_SKIP() << "CPU lacks AVX2/FMA";
    }
    executor = std::make_shared<Executor>();
  }

  Dwt<f32> forward(std::span<const f32> x) const {
    auto bands = executor->dwt(x, 1);
    EXPECT_TRUE(bands.has_value()) << bands.error().display();
    return bands.value_or(Dwt<f32>{});
  }

  std::vector<f32> inverse(const Dwt<f32>& bands) const {
    auto y = executor->idwt({bands.approximations, bands.details});
    EXPECT_TRUE(y.has_value()) << y.error().display();
    return y.value_or(std::vector<f32>{});
  }

  std::shared_ptr<const DwtExecutor<f32>> executor;
};

using Paths = ::testing::Types<Cdf97, AvxCdf97>;
TYPED_TEST_SUITE(Cdf97Test, Paths);

TYPED_TEST(Cdf97Test, SizeRules) {
  struct Case {
    std::size_t n, approximation, details;
  };
  for (const Case c : {Case{0, 2, 2}, {1, 2, 2}, {3, 2, 2}, {4, 2, 2}, {5, 3, 2}, {6, 3, 3},
                       {1001, 501, 500}}) {
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
  std::vector<f32> a(2, 7.0f), d(2, 7.0f), y(5, 7.0f);
  EXPECT_EQ(executor.execute_forward(three, a, d).error().display(),
            "Input size 3 can't be less than 4");
  EXPECT_EQ(executor.execute_forward(std::vector<f32>(5), a, d).error().display(),
            "Approximate size 2 does not match required size 3");
  std::vector<f32> a3(3);
  EXPECT_EQ(executor.execute_forward(std::vector<f32>(6), a3, d).error().display(),
            "Details size 2 does not match required size 3");
  EXPECT_EQ(executor.execute_inverse(a, d, y).error().display(),
            "Output size should be 4, but it was 5");
  EXPECT_EQ(executor.execute_inverse(a, std::vector<f32>(1), std::span(y).first(3))
                .error()
                .display(),
            "Details size 1 does not match required size 2");
  // Failed checks write nothing.
  EXPECT_EQ(a, std::vector<f32>(2, 7.0f));
  EXPECT_EQ(y, std::vector<f32>(5, 7.0f));
  const std::string too_small = "Buffer was too small for provided level";
  for (std::size_t level : {0u, 1u, 2u}) {
    EXPECT_EQ(executor.dwt(three, level).error().display(), too_small);
    EXPECT_EQ(executor.multi_dwt(three, level).error().display(), too_small);
  }
  // 12 -> 6 -> 3: the third level's input is too short.
  EXPECT_EQ(executor.multi_dwt(std::vector<f32>(12), 3).error().display(), too_small);
  EXPECT_EQ(executor.multi_idwt({{d}, {}}).error().display(), "Zero sized input is not supported");
  EXPECT_EQ(executor.multi_idwt({{}, a}).error().display(), "Zero sized input is not supported");
}

TYPED_TEST(Cdf97Test, ShortSignalsRoundTrip) {
  for (const std::vector<f32>& x : {std::vector<f32>{1, 2, 3, 4}, {1, 2, 3, 4, 5}}) {
    EXPECT_LE(max_difference(this->inverse(this->forward(x)), x), 5 * kTolerance);
  }
}

TYPED_TEST(Cdf97Test, ForwardThenInverseReconstructsEveryLength) {
  for (std::size_t n = 4; n <= 300; ++n) {
    const auto x = random_signal(n, static_cast<unsigned>(n));
    EXPECT_LE(max_difference(this->inverse(this->forward(x)), x), kTolerance) << n;
  }
}

TYPED_TEST(Cdf97Test, MultiLevelRoundTrips) {
  const auto& executor = *this->executor;
  for (std::size_t n : {4u, 9u, 64u, 101u, 4099u}) {
    const auto x = random_signal(n, 11);
    for (std::size_t levels = 1; levels <= 8; ++levels) {
      const auto result = executor.multi_dwt(x, levels);
      if (!result) continue;  // too deep: LevelErrors covers the message
      ASSERT_EQ(result->levels.size(), levels);
      MultiDwtView<f32> view{{}, result->levels.back().approximations};
      for (const auto& level : result->levels) view.details.emplace_back(level.details);
      const auto y = executor.multi_idwt(view);
      ASSERT_TRUE(y.has_value()) << y.error().display();
      EXPECT_LE(max_difference(*y, x), 4 * kTolerance) << n << " " << levels;
    }
  }
}

TEST(Cdf97Scalar, ConstantGivesSqrtTwoAndZeroDetails) {
  const Cdf97 executor;
  for (std::size_t n : {7u, 8u}) {
    const std::vector<f32> ones(n, 1.0f);
    const auto bands = executor.dwt(ones, 1);
    ASSERT_TRUE(bands.has_value());
    for (f32 s : bands->approximations) EXPECT_EQ(s, 1.4142135f) << n;
    for (f32 d : bands->details) EXPECT_EQ(d, 0.0f) << n;
    const auto y = executor.idwt({bands->approximations, bands->details});
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

TYPED_TEST(Cdf97Test, MatchesReferenceBitForBit) {
  using Lift = f32 (*)(f32, f32, f32);
  using Reference = ReferenceLifting<Cdf97Scheme, Lift>;
  const Lift lift = std::is_same_v<TypeParam, AvxCdf97> ? Lift{fused} : Lift{rounded_twice};
  std::vector<std::size_t> lengths{511, 512, 513, 514, 1025, 2047, 2048, 2049, 2050, 4097, 10001};
  for (std::size_t n = 4; n <= 300; ++n) lengths.push_back(n);
  for (std::size_t n : lengths) {
    const auto x = random_signal(n, static_cast<unsigned>(n) + 77);
    const auto bands = this->forward(x);
    const auto expected = Reference::forward(x, lift);
    EXPECT_EQ(bands.approximations, expected.approximations) << n;
    EXPECT_EQ(bands.details, expected.details) << n;
    EXPECT_EQ(this->inverse(bands), Reference::inverse(bands, lift)) << n;
  }
}

TEST(Cdf97Paths, AvxAgreesWithScalar) {
  if (!has_avx_tier()) GTEST_SKIP() << "CPU lacks AVX2/FMA";
  const Cdf97 scalar;
  const AvxCdf97 avx;
  for (std::size_t n = 4; n <= 300; n += (n < 80 ? 1 : 37)) {
    const auto x = random_signal(n, static_cast<unsigned>(n) + 1000);
    const auto a = scalar.dwt(x, 1);
    const auto b = avx.dwt(x, 1);
    ASSERT_TRUE(a.has_value() && b.has_value());
    EXPECT_LE(max_difference(a->approximations, b->approximations), kTolerance) << n;
    EXPECT_LE(max_difference(a->details, b->details), kTolerance) << n;
    const auto ya = scalar.idwt({a->approximations, a->details});
    const auto yb = avx.idwt({a->approximations, a->details});
    ASSERT_TRUE(ya.has_value() && yb.has_value());
    EXPECT_LE(max_difference(*ya, *yb), kTolerance) << n;
  }
}

struct Golden {
  std::vector<f32> input;
  std::vector<double> approximation, details;
};

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
    for (std::size_t i = 0; i < count; ++i) {
      double v = 0;
      in >> v;
      if (name == "input") cases.back().input.push_back(static_cast<f32>(v));
      if (name == "approximation") cases.back().approximation.push_back(v);
      if (name == "details") cases.back().details.push_back(v);
    }
  }
  return cases;
}

// Cdf97 is PyWavelets' 'bior4.4' computed by lifting. With pywt.dwt(x, 'bior4.4',
// mode='symmetric') giving cA and cD, away from the borders
//   approximations[k] == cA[k + 2]   and   details[k] == -cD[k + 2]:
// the same normalisation (a constant c gives c * sqrt(2) in both), the opposite sign of the
// high-pass filter, and pywt's bands start two coefficients earlier because its symmetric
// mode keeps the full convolution overlap. The first two and last two coefficients of each
// band differ: the lifting mirrors around the edge sample, pywt repeats it.
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
    // float32 lifting against a float64 convolution: rounding of the inputs' magnitude.
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
