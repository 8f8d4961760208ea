#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "vibrel/factory.hpp"
#include "vibrel/vibrel.hpp"

namespace vibrel {
namespace {

constexpr BorderMode kModes[] = {BorderMode::Clamp, BorderMode::Wrap, BorderMode::Reflect,
                                 BorderMode::Reflect101, BorderMode::Constant};
constexpr CpuTier kTiers[] = {CpuTier::Scalar, CpuTier::Sse, CpuTier::Avx};

std::vector<f32> random_signal(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<f32> uniform(-1.0f, 1.0f);
  std::vector<f32> x(n);
  for (auto& v : x) v = uniform(rng);
  return x;
}

// Every band of `a` equals the one of `b` within `tolerance`.
void expect_bands_near(const MultiDwt<f32>& a, const MultiDwt<f32>& b, f32 tolerance,
                       const std::string& what) {
  ASSERT_EQ(a.levels.size(), b.levels.size()) << what;
  for (std::size_t k = 0; k < a.levels.size(); ++k) {
    const auto& x = a.levels[k];
    const auto& y = b.levels[k];
    ASSERT_EQ(x.details.size(), y.details.size()) << what;
    for (std::size_t i = 0; i < x.details.size(); ++i) {
      ASSERT_NEAR(x.details[i], y.details[i], tolerance) << what << " level " << k;
      ASSERT_NEAR(x.approximations[i], y.approximations[i], tolerance) << what;
    }
  }
}

// Decomposes, reconstructs and compares with the scalar tier of the same transform.
void check_tier(const DwtHandle<f32>& executor, const DwtHandle<f32>& scalar,
                const std::string& what) {
  for (std::size_t n : {std::size_t{97}, std::size_t{256}}) {
    const auto x = random_signal(n, static_cast<unsigned>(n));
    auto bands = executor->multi_dwt(x, 3);
    ASSERT_TRUE(bands.has_value()) << what << ": " << bands.error().display();
    auto reference = scalar->multi_dwt(x, 3);
    ASSERT_TRUE(reference.has_value());
    expect_bands_near(*bands, *reference, 2e-5f, what);
    auto back = executor->multi_idwt(view_of(*bands));
    ASSERT_TRUE(back.has_value()) << what << ": " << back.error().display();
    ASSERT_GE(back->size(), n) << what;
    for (std::size_t i = 0; i < n; ++i) ASSERT_NEAR((*back)[i], x[i], 3e-5f) << what << " " << i;
  }
}

TEST(Factory, HaarTapsAreTheRoundedHalfRootOfTwo) {
  const auto haar = Vibrel::make_daubechies_f32(DaubechiesWavelet::Db1, BorderMode::Wrap);
  EXPECT_EQ(haar->filter_length(), 2u);
  for (const auto& unit : {std::vector<f32>{1, 0}, std::vector<f32>{0, 1}}) {
    std::vector<f32> a(1), d(1);
    ASSERT_TRUE(haar->execute_forward(unit, a, d).has_value());
    EXPECT_EQ(std::bit_cast<std::uint32_t>(a[0]), 0x3F3504F3u);
  }
}

TEST(Factory, FilterLengthAndExecutorKindOfEveryMember) {
  // The generic executor is the one that needs scratch memory. The SSE tier has no 16-tap
  // executor of its own and builds the generic one for 16 taps too.
  const bool generic_16 = detected_tier() == CpuTier::Sse;
  for (unsigned v = 0; v < 24; ++v) {
    const auto executor =
        Vibrel::make_daubechies_f32(static_cast<DaubechiesWavelet>(v), BorderMode::Wrap);
    const std::size_t taps = 2 * (v + 1);
    EXPECT_EQ(executor->filter_length(), taps);
    const bool generic = taps == 14 || taps > 16 || (taps == 16 && generic_16);
    EXPECT_EQ(executor->required_scratch_size(100) > 0, generic) << "Db" << v + 1;
  }
  for (unsigned v = 0; v < 19; ++v) {
    const auto executor =
        Vibrel::make_symlet_f32(static_cast<SymletWavelet>(v), BorderMode::Wrap);
    const std::size_t taps = 2 * v + 4;
    EXPECT_EQ(executor->filter_length(), taps);
    const bool generic = taps == 14 || taps > 16 || (taps == 16 && generic_16);
    EXPECT_EQ(executor->required_scratch_size(100) > 0, generic) << "Sym" << v + 2;
  }
}

TEST(Factory, Db4AndSym4DifferOnlyThroughTheirTaps) {
  const auto db4 = Vibrel::make_daubechies_f32(DaubechiesWavelet::Db4, BorderMode::Wrap);
  const auto sym4 = Vibrel::make_symlet_f32(SymletWavelet::Sym4, BorderMode::Wrap);
  EXPECT_EQ(db4->filter_length(), 8u);
  EXPECT_EQ(sym4->filter_length(), 8u);
  EXPECT_EQ(db4->dwt_size(100), sym4->dwt_size(100));
  const auto x = random_signal(64, 7);
  auto a = db4->dwt(x, 1);
  auto b = sym4->dwt(x, 1);
  ASSERT_TRUE(a && b);
  EXPECT_NE(a->approximations, b->approximations);
}

TEST(Factory, IndependentExecutors) {
  auto first = Vibrel::make_symlet_f32(SymletWavelet::Sym4, BorderMode::Reflect);
  auto second = Vibrel::make_symlet_f32(SymletWavelet::Sym4, BorderMode::Reflect);
  EXPECT_NE(first.get(), second.get());
  const auto x = random_signal(50, 3);
  auto before = second->dwt(x, 2);
  first.reset();
  auto after = second->dwt(x, 2);
  ASSERT_TRUE(before && after);
  EXPECT_EQ(before->approximations, after->approximations);
}

TEST(Factory, LiftingTransformsOnEveryTier) {
  for (CpuTier tier : kTiers) {
    if (!tier_supported(tier)) continue;
    check_tier(make_cdf53_for_tier(tier), make_cdf53_for_tier(CpuTier::Scalar), "cdf53");
    check_tier(make_cdf97_for_tier(tier), make_cdf97_for_tier(CpuTier::Scalar), "cdf97");
  }
}

TEST(Factory, EveryOrthogonalMemberModeAndTier) {
  std::vector<std::pair<std::string, std::span<const double>>> tables;
  for (unsigned v = 0; v < 24; ++v) {
    tables.emplace_back("db" + std::to_string(v + 1),
                        daubechies_taps(static_cast<DaubechiesWavelet>(v)));
  }
  for (unsigned v = 0; v < 19; ++v) {
    tables.emplace_back("sym" + std::to_string(v + 2),
                        symlet_taps(static_cast<SymletWavelet>(v)));
  }
  for (const auto& [name, taps] : tables) {
    for (BorderMode mode : kModes) {
      const auto scalar = make_orthogonal_for_tier(CpuTier::Scalar, taps, mode);
      for (CpuTier tier : kTiers) {
        if (!tier_supported(tier)) continue;
        const std::string what = name + " mode " + std::to_string(static_cast<int>(mode)) +
                                 " tier " + std::to_string(static_cast<int>(tier));
        check_tier(make_orthogonal_for_tier(tier, taps, mode), scalar, what);
      }
    }
  }
}

TEST(Factory, PublicConstructorsUseTheDetectedTier) {
  // Same numbers as building the detected tier explicitly.
  const auto x = random_signal(300, 11);
  const auto via_vibrel = Vibrel::make_cdf97_f32()->multi_dwt(x, 4);
  const auto explicit_tier = make_cdf97_for_tier(detected_tier())->multi_dwt(x, 4);
  ASSERT_TRUE(via_vibrel && explicit_tier);
  expect_bands_near(*via_vibrel, *explicit_tier, 0.0f, "cdf97");
  const std::array<f32, 8> taps{0.1f, 0.2f, 0.3f, 0.4f, 0.4f, 0.3f, 0.2f, 0.1f};
  const auto fixed = DwtFactory<f32>::wavelet_8_taps(BorderMode::Wrap, taps);
  const auto generic = DwtFactory<f32>::wavelet_n_taps(BorderMode::Wrap, taps);
  EXPECT_EQ(fixed->required_scratch_size(64), 0u);
  EXPECT_GT(generic->required_scratch_size(64), 0u);
}

}  // namespace
}  // namespace vibrel
