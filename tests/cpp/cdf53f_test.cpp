#include "vibrel/cdf53f.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
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

// Unit-range signals: a few units in the last place of 1.
constexpr f32 kTolerance = 4 * FLT_EPSILON;

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
class Cdf53Test : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::is_same_v<Executor, AvxCdf53> && !has_avx_tier()) {
      GTEST_SKIP() << "CPU lacks AVX2/FMA";
    }
    executor = std::make_shared<Executor>();
  }

  Dwt<f32> forward(std::span<const f32> x) const {
    const DwtSize size = executor->dwt_size(x.size());
    Dwt<f32> bands{std::vector<f32>(size.approximation_length),
                   std::vector<f32>(size.details_length)};
    const auto done = executor->execute_forward(x, bands.approximations, bands.details);
    EXPECT_TRUE(done.has_value()) << done.error().display();
    return bands;
  }

  std::vector<f32> inverse(const Dwt<f32>& bands) const {
    std::vector<f32> y(bands.approximations.size() + bands.details.size());
    const auto done = executor->execute_inverse(bands.approximations, bands.details, y);
    EXPECT_TRUE(done.has_value()) << done.error().display();
    return y;
  }

  std::shared_ptr<const DwtExecutor<f32>> executor;
};

using Paths = ::testing::Types<Cdf53, AvxCdf53>;
TYPED_TEST_SUITE(Cdf53Test, Paths);

TYPED_TEST(Cdf53Test, SizeRules) {
  struct Case {
    std::size_t n, approximation, details;
  };
  for (const Case c : {Case{0, 2, 1}, {1, 2, 1}, {2, 2, 1}, {3, 2, 1}, {4, 2, 2}, {5, 3, 2},
                       {6, 3, 3}, {1001, 501, 500}}) {
    EXPECT_EQ(this->executor->dwt_size(c.n), (DwtSize{c.approximation, c.details})) << c.n;
    EXPECT_EQ(this->executor->required_scratch_size(c.n), 0u);
  }
  EXPECT_EQ(this->executor->idwt_size({3, 2}), 5u);
  EXPECT_EQ(this->executor->idwt_size({1, 1}), 3u);
  EXPECT_EQ(this->executor->idwt_size({0, 0}), 3u);
  EXPECT_EQ(this->executor->filter_length(), 6u);
}

TYPED_TEST(Cdf53Test, ForwardErrorsLeaveBandsUntouched) {
  struct Case {
    std::size_t n, a, d;
    const char* text;
  };
  for (const Case c : {
           Case{2, 2, 1, "Input size 2 can't be less than 3"},
           {0, 0, 0, "Input size 0 can't be less than 3"},
           {5, 2, 2, "Approximate size 2 does not match required size 3"},
           {5, 3, 3, "Details size 3 does not match required size 2"},
           {6, 4, 3, "Approximate size 4 does not match required size 3"},
       }) {
    const std::vector<f32> x(c.n, 1.0f);
    std::vector<f32> a(c.a, 7.0f), d(c.d, 7.0f);
    const auto done = this->executor->execute_forward(x, a, d);
    ASSERT_FALSE(done.has_value()) << c.text;
    EXPECT_EQ(done.error().display(), c.text);
    EXPECT_EQ(a, std::vector<f32>(c.a, 7.0f));
    EXPECT_EQ(d, std::vector<f32>(c.d, 7.0f));
  }
}

TYPED_TEST(Cdf53Test, InverseErrors) {
  struct Case {
    std::size_t a, d, n;
    const char* text;
  };
  for (const Case c : {
           Case{2, 1, 4, "Output size should be 3, but it was 4"},
           {0, 0, 0, "Approximate size 0 does not match required size 2"},
           {1, 1, 2, "Approximate size 1 does not match required size 2"},
           {3, 1, 4, "Approximate size 3 does not match required size 2"},
           {2, 0, 2, "Details size 0 does not match required size 1"},
       }) {
    const std::vector<f32> a(c.a, 1.0f), d(c.d, 1.0f);
    std::vector<f32> y(c.n, 7.0f);
    const auto done = this->executor->execute_inverse(a, d, y);
    ASSERT_FALSE(done.has_value()) << c.text;
    EXPECT_EQ(done.error().display(), c.text);
    EXPECT_EQ(y, std::vector<f32>(c.n, 7.0f));
  }
}

TYPED_TEST(Cdf53Test, LevelErrors) {
  const auto& executor = *this->executor;
  const std::vector<f32> two{1.0f, 2.0f};
  const std::string too_small = "Buffer was too small for provided level";
  for (std::size_t level : {0u, 1u, 2u}) {
    EXPECT_EQ(executor.dwt(two, level).error().display(), too_small);
    EXPECT_EQ(executor.multi_dwt(two, level).error().display(), too_small);
  }
  // 8 -> 4 -> 2: the third level's input is too short.
  EXPECT_EQ(executor.multi_dwt(std::vector<f32>(8, 1.0f), 3).error().display(), too_small);
  const std::vector<f32> band(2, 1.0f);
  const std::string zero = "Zero sized input is not supported";
  EXPECT_EQ(executor.multi_idwt({{band}, {}}).error().display(), zero);
  EXPECT_EQ(executor.multi_idwt({{}, band}).error().display(), zero);
  EXPECT_EQ(executor.idwt({std::vector<f32>(3), std::vector<f32>(1)}).error().display(),
            "Approximate size 3 does not match required size 2");
}

TYPED_TEST(Cdf53Test, WorkedExamples) {
  const auto three = this->forward(std::vector<f32>{1, 2, 3});
  EXPECT_EQ(three.details, (std::vector<f32>{0}));
  EXPECT_EQ(three.approximations, (std::vector<f32>{1, 3}));
  EXPECT_EQ(this->inverse(three), (std::vector<f32>{1, 2, 3}));
  const auto four = this->forward(std::vector<f32>{1, 2, 3, 4});
  EXPECT_EQ(four.details, (std::vector<f32>{0, 1}));
  EXPECT_EQ(four.approximations, (std::vector<f32>{1, 3.25f}));
  EXPECT_EQ(this->inverse(four), (std::vector<f32>{1, 2, 3, 4}));
}

// Constants and ramps of quarter steps are exact in binary, so both paths are exact.
TYPED_TEST(Cdf53Test, ConstantAndRampSignals) {
  for (std::size_t n = 3; n <= 70; ++n) {
    const auto constant = this->forward(std::vector<f32>(n, 2.5f));
    EXPECT_EQ(constant.approximations, std::vector<f32>(n - n / 2, 2.5f)) << n;
    EXPECT_EQ(constant.details, std::vector<f32>(n / 2, 0.0f)) << n;
    std::vector<f32> ramp(n);
    for (std::size_t i = 0; i < n; ++i) ramp[i] = 0.75f * static_cast<f32>(i) - 3.0f;
    auto details = this->forward(ramp).details;
    // Only an even length's last detail sees the mirrored border: x[n-1] - x[n-2].
    if (n % 2 == 0) {
      EXPECT_EQ(details.back(), 0.75f) << n;
      details.pop_back();
    }
    EXPECT_EQ(details, std::vector<f32>(details.size(), 0.0f)) << n;
  }
}

TYPED_TEST(Cdf53Test, ForwardThenInverseReconstructsEveryLength) {
  for (std::size_t n = 3; n <= 300; ++n) {
    const auto x = random_signal(n, static_cast<unsigned>(n));
    EXPECT_LE(max_difference(this->inverse(this->forward(x)), x), kTolerance) << n;
  }
}

TYPED_TEST(Cdf53Test, MultiLevelRoundTrips) {
  const auto& executor = *this->executor;
  for (std::size_t n : {3u, 7u, 64u, 101u, 4099u}) {
    const auto x = random_signal(n, 7);
    for (std::size_t levels = 0; levels <= 8; ++levels) {
      const auto result = executor.multi_dwt(x, levels);
      // Level k decomposes m_k samples, m_0 = n, m_k+1 = ceil(m_k / 2); each needs 3.
      std::vector<std::size_t> inputs{n};
      while (inputs.size() < std::max<std::size_t>(levels, 1)) {
        inputs.push_back(inputs.back() - inputs.back() / 2);
      }
      const bool feasible = std::ranges::all_of(inputs, [](std::size_t m) { return m >= 3; });
      ASSERT_EQ(result.has_value(), feasible) << n << " " << levels;
      if (!result) {
        EXPECT_EQ(result.error().display(), "Buffer was too small for provided level");
        continue;
      }
      for (std::size_t k = 0; k < inputs.size(); ++k) {
        EXPECT_EQ(result->levels[k].approximations.size(), inputs[k] - inputs[k] / 2);
        EXPECT_EQ(result->levels[k].details.size(), inputs[k] / 2);
      }
      MultiDwtView<f32> view{{}, result->levels.back().approximations};
      for (const auto& level : result->levels) view.details.emplace_back(level.details);
      const auto y = executor.multi_idwt(view);
      ASSERT_TRUE(y.has_value()) << y.error().display();
      EXPECT_LE(max_difference(*y, x), 4 * kTolerance) << n << " " << levels;
      const auto deepest = executor.dwt(x, levels);
      ASSERT_TRUE(deepest.has_value());
      EXPECT_EQ(deepest->approximations, result->levels.back().approximations);
      EXPECT_EQ(deepest->details, result->levels.back().details);
    }
  }
}

TYPED_TEST(Cdf53Test, MatchesReferenceBitForBit) {
  using Lift = f32 (*)(f32, f32, f32);
  using Reference = ReferenceLifting<Cdf53Scheme, Lift>;
  const Lift lift = std::is_same_v<TypeParam, AvxCdf53> ? Lift{fused} : Lift{rounded_twice};
  std::vector<std::size_t> lengths{511, 512, 513, 514, 1025, 2047, 2048, 2049, 2050, 4097, 10001};
  for (std::size_t n = 3; n <= 300; ++n) lengths.push_back(n);
  for (std::size_t n : lengths) {
    const auto x = random_signal(n, static_cast<unsigned>(n) + 77);
    const auto bands = this->forward(x);
    const auto expected = Reference::forward(x, lift);
    EXPECT_EQ(bands.approximations, expected.approximations) << n;
    EXPECT_EQ(bands.details, expected.details) << n;
    EXPECT_EQ(this->inverse(bands), Reference::inverse(bands, lift)) << n;
  }
}

TEST(Cdf53Paths, AvxAgreesWithScalar) {
  if (!has_avx_tier()) GTEST_SKIP() << "CPU lacks AVX2/FMA";
  const Cdf53 scalar;
  const AvxCdf53 avx;
  for (std::size_t n = 3; n <= 300; n += (n < 80 ? 1 : 37)) {
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

}  // namespace
}  // namespace vibrel
