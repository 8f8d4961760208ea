#pragma once

// Shared by cdf53f_test.cpp and cdf97f_test.cpp: a typed fixture over the scalar and AVX
// executors of one scheme, and an independent reference of the lifting formulas.

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <memory>
#include <random>
#include <span>
#include <type_traits>
#include <utility>
#include <vector>

#include "band_storage.hpp"
#include "vibrel/cpu/cpu_features.hpp"
#include "vibrel/lifting/lifting_executor.hpp"

namespace vibrel {

inline std::vector<f32> random_signal(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<f32> uniform(-1.0f, 1.0f);
  std::vector<f32> x(n);
  for (auto& v : x) v = uniform(rng);
  return x;
}

inline f32 max_difference(std::span<const f32> a, std::span<const f32> b) {
  EXPECT_EQ(a.size(), b.size());
  f32 worst = 0.0f;
  for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
    worst = std::max(worst, std::abs(a[i] - b[i]));
  }
  return worst;
}

inline f32 rounded_twice(f32 sum, f32 c, f32 x) {
  return sum * c + x;
}
inline f32 fused(f32 sum, f32 c, f32 x) {
  return std::fma(sum, c, x);
}
using Lift = f32 (*)(f32, f32, f32);

// One whole pass per step, with the mirrored borders written as clamped indices: an
// independent statement of the per-coefficient formulas. With the path's rounding `lift`
// the executors must match it bit for bit, whatever their blocking.
template <class Scheme>
struct ReferenceLifting {
  static void step(std::vector<f32>& s, std::vector<f32>& d, LiftingStep::Kind kind, f32 c,
                   Lift lift) {
    if (kind == LiftingStep::Kind::Predict) {
      for (std::size_t k = 0; k < d.size(); ++k) {
        d[k] = lift(s[k] + s[std::min(k + 1, s.size() - 1)], c, d[k]);
      }
    } else {
      for (std::size_t k = 0; k < s.size(); ++k) {
        s[k] = lift(d[k == 0 ? 0 : k - 1] + d[std::min(k, d.size() - 1)], c, s[k]);
      }
    }
  }
  static Dwt<f32> forward(std::span<const f32> x, Lift lift) {
    Dwt<f32> r;
    for (std::size_t i = 0; i < x.size(); ++i) {
      (i % 2 == 0 ? r.approximations : r.details).push_back(x[i]);
    }
    for (const LiftingStep& s : Scheme::kSteps) {
      step(r.approximations, r.details, s.kind, s.coefficient, lift);
    }
    for (f32& v : r.approximations) v *= Scheme::kApproximationScale;
    for (f32& v : r.details) v *= Scheme::kDetailsScale;
    return r;
  }
  static std::vector<f32> inverse(Dwt<f32> r, Lift lift) {
    for (f32& v : r.approximations) v *= Scheme::kInverseApproximationScale;
    for (f32& v : r.details) v *= Scheme::kInverseDetailsScale;
    for (auto s = Scheme::kSteps.rbegin(); s != Scheme::kSteps.rend(); ++s) {
      step(r.approximations, r.details, s->kind, -s->coefficient, lift);
    }
    std::vector<f32> y;
    for (std::size_t k = 0; k < r.approximations.size(); ++k) {
      y.push_back(r.approximations[k]);
      if (k < r.details.size()) y.push_back(r.details[k]);
    }
    return y;
  }
};

template <class Executor>
struct LiftingTraits;
template <class Scheme, class Kernels>
struct LiftingTraits<LiftingExecutor<Scheme, Kernels>> {
  using SchemeType = Scheme;
  static constexpr bool kAvx = std::is_same_v<Kernels, LiftingKernels<avx::Avx2FmaSet>>;
};

// Unit-range signals: a few units in the last place of 1.
inline constexpr f32 kTolerance = 8 * FLT_EPSILON;

template <class Executor>
class LiftingTest : public ::testing::Test {
 protected:
  using Scheme = typename LiftingTraits<Executor>::SchemeType;
  static constexpr std::size_t kMin = Scheme::kMinLength;

  void SetUp() override {
    if (LiftingTraits<Executor>::kAvx && !has_avx_tier()) GTEST_SKIP() << "CPU lacks AVX2/FMA";
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

  void expect_reconstructs_every_length() const {
    for (std::size_t n = kMin; n <= 300; ++n) {
      const auto x = random_signal(n, static_cast<unsigned>(n));
      EXPECT_LE(max_difference(inverse(forward(x)), x), kTolerance) << n;
    }
  }

  void expect_matches_reference() const {
    const Lift lift = LiftingTraits<Executor>::kAvx ? Lift{fused} : Lift{rounded_twice};
    std::vector<std::size_t> lengths{511, 512, 513, 514, 1025, 2047, 2048, 2049, 4097, 10001};
    for (std::size_t n = kMin; n <= 64; ++n) lengths.push_back(n);
    for (std::size_t n : lengths) {
      const auto x = random_signal(n, static_cast<unsigned>(n) + 77);
      const auto bands = forward(x);
      const auto expected = ReferenceLifting<Scheme>::forward(x, lift);
      EXPECT_EQ(bands.approximations, expected.approximations) << n;
      EXPECT_EQ(bands.details, expected.details) << n;
      EXPECT_EQ(inverse(bands), ReferenceLifting<Scheme>::inverse(bands, lift)) << n;
    }
  }

  // Every level decomposes the previous approximation (m -> ceil(m/2)) while it has kMin
  // samples; deeper requests fail; multi_idwt undoes multi_dwt, and dwt returns its last level.
  void expect_multi_level_round_trips() const {
    for (std::size_t n : {kMin, kMin + 5, std::size_t{64}, std::size_t{101}, std::size_t{4099}}) {
      const auto x = random_signal(n, 7);
      std::size_t length = n;
      for (std::size_t levels = 1; levels <= 9; ++levels, length -= length / 2) {
        const auto result = executor->multi_dwt(x, levels);
        if (length < kMin) {
          ASSERT_FALSE(result.has_value()) << n << " " << levels;
          EXPECT_EQ(result.error().display(), "Buffer was too small for provided level");
          break;
        }
        ASSERT_TRUE(result.has_value()) << n << " " << levels;
        ASSERT_EQ(result->levels.size(), levels);
        EXPECT_EQ(result->levels.back().details.size(), length / 2);
        const auto y = executor->multi_idwt(view_of(*result));
        ASSERT_TRUE(y.has_value()) << y.error().display();
        EXPECT_LE(max_difference(*y, x), 4 * kTolerance) << n << " " << levels;
        const auto deepest = executor->dwt(x, levels);
        ASSERT_TRUE(deepest.has_value());
        EXPECT_EQ(deepest->details, result->levels.back().details);
      }
    }
  }

  // The consuming forward keeps multi_dwt's bands but only the coarsest approximation, and
  // fails where it fails.
  void expect_consuming_forward_matches(std::span<const f32> x, std::size_t levels,
                                        const VibrelResult<MultiDwt<f32>>& want) const {
    const auto got = executor->multi_dwt_consuming(std::vector<f32>(x.begin(), x.end()), levels);
    ASSERT_EQ(got.has_value(), want.has_value()) << x.size() << " " << levels;
    if (!want) return;
    ASSERT_EQ(got->levels.size(), want->levels.size());
    for (std::size_t k = 0; k < want->levels.size(); ++k) {
      EXPECT_EQ(got->levels[k].details, want->levels[k].details) << x.size() << " " << k;
      const bool coarsest = k + 1 == want->levels.size();
      EXPECT_EQ(got->levels[k].approximations,
                coarsest ? want->levels[k].approximations : std::vector<f32>{});
    }
  }

  // Reconstructing inside the bands' own array gives multi_idwt's samples bit for bit, at
  // every length parity and depth, including strips that end near the array's end; the
  // consuming forward agrees with multi_dwt on the way.
  void expect_consuming_transforms_match() const {
    std::vector<std::size_t> lengths{255, 256, 257, 511, 514, 1023, 1026, 4097, 100003};
    for (std::size_t n = kMin; n <= 40; ++n) lengths.push_back(n);
    for (std::size_t n : lengths) {
      const auto x = random_signal(n, static_cast<unsigned>(n) + 5);
      for (std::size_t levels = 1; levels <= 10; ++levels) {
        const auto result = executor->multi_dwt(x, levels);
        expect_consuming_forward_matches(x, levels, result);
        if (!result) break;
        const auto want = executor->multi_idwt(view_of(*result));
        const auto got = executor->multi_idwt_consuming(storage_of(*result));
        ASSERT_TRUE(want.has_value() && got.has_value()) << n << " " << levels;
        EXPECT_EQ(*got, *want) << n << " " << levels;
      }
    }
    // Bands that do not tile the array take the ordinary path and its error.
    MultiDwtStorage<f32> short_bands{std::vector<f32>(5), 4, {4}};
    const auto refused = executor->multi_idwt_consuming(std::move(short_bands));
    ASSERT_FALSE(refused.has_value());
    EXPECT_EQ(refused.error().display(),
              executor->multi_idwt(view_of(MultiDwtStorage<f32>{std::vector<f32>(5), 4, {4}}))
                  .error()
                  .display());
  }

  std::shared_ptr<const DwtExecutor<f32>> executor;
};

// Same transform, two roundings: the paths agree within a few units in the last place.
template <class Scalar, class Avx>
void expect_avx_agrees_with_scalar() {
  if (!has_avx_tier()) GTEST_SKIP() << "CPU lacks AVX2/FMA";
  const Scalar scalar;
  const Avx avx;
  for (std::size_t n = LiftingTraits<Scalar>::SchemeType::kMinLength; n <= 600;
       n += (n < 80 ? 1 : 37)) {
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

}  // namespace vibrel
