// Properties every orthogonal filter-bank executor shares, typed over the whole family:
// perfect reconstruction in every border mode, agreement of the SSE and AVX kernels with
// scalar code, accumulation into the output, the periodic extension, and the size errors.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "vibrel/cpu/cpu_features.hpp"
#include "vibrel/tables/daubechies.hpp"
#include "vibrel/filter_bank/filter_banks.hpp"
#include "vibrel/filter_bank/low_pass_to_high.hpp"

namespace vibrel {
namespace {

enum class Tier { Scalar, Sse, Avx };

// An executor under test, the scalar executor it must agree with, and its tap count.
template <class E, class R, std::size_t N, Tier kT>
struct Member {
  using Executor = E;
  using Reference = R;
  static constexpr std::size_t kTaps = N;
  static constexpr Tier kTier = kT;
};

// Scalar members are their own reference.
using ScalarMembers = ::testing::Types<Member<Wavelet2Taps, Wavelet2Taps, 2, Tier::Scalar>,
                                       Member<Wavelet4Taps, Wavelet4Taps, 4, Tier::Scalar>,
                                       Member<Wavelet6Taps, Wavelet6Taps, 6, Tier::Scalar>,
                                       Member<Wavelet8Taps, Wavelet8Taps, 8, Tier::Scalar>,
                                       Member<Wavelet10Taps, Wavelet10Taps, 10, Tier::Scalar>,
                                       Member<Wavelet12Taps, Wavelet12Taps, 12, Tier::Scalar>,
                                       Member<Wavelet16Taps, Wavelet16Taps, 16, Tier::Scalar>,
                                       Member<WaveletNTaps, WaveletNTaps, 14, Tier::Scalar>>;

// Members checked against other code: the SIMD ones against scalar, and the generic ones
// against the dedicated executor where there is one, else against the scalar generic one.
using ComparedMembers = ::testing::Types<Member<SseWavelet2TapsF32, Wavelet2Taps, 2, Tier::Sse>,
                                         Member<SseWavelet4TapsF32, Wavelet4Taps, 4, Tier::Sse>,
                                         Member<SseWavelet6TapsF32, Wavelet6Taps, 6, Tier::Sse>,
                                         Member<SseWavelet8TapsF32, Wavelet8Taps, 8, Tier::Sse>,
                                         Member<SseWavelet10TapsF32, Wavelet10Taps, 10, Tier::Sse>,
                                         Member<SseWavelet12TapsF32, Wavelet12Taps, 12, Tier::Sse>,
                                         Member<AvxWavelet2TapsF32, Wavelet2Taps, 2, Tier::Avx>,
                                         Member<AvxWavelet4TapsF32, Wavelet4Taps, 4, Tier::Avx>,
                                         Member<AvxWavelet6TapsF32, Wavelet6Taps, 6, Tier::Avx>,
                                         Member<AvxWavelet8TapsF32, Wavelet8Taps, 8, Tier::Avx>,
                                         Member<AvxWavelet10TapsF32, Wavelet10Taps, 10, Tier::Avx>,
                                         Member<AvxWavelet12TapsF32, Wavelet12Taps, 12, Tier::Avx>,
                                         Member<AvxWavelet16TapsF32, Wavelet16Taps, 16, Tier::Avx>,
                                         Member<WaveletNTaps, Wavelet8Taps, 8, Tier::Scalar>,
                                         Member<SseWaveletNTapsF32, Wavelet16Taps, 16, Tier::Sse>,
                                         Member<SseWaveletNTapsF32, WaveletNTaps, 48, Tier::Sse>,
                                         Member<AvxWaveletNTapsF32, Wavelet8Taps, 8, Tier::Avx>,
                                         Member<AvxWaveletNTapsF32, WaveletNTaps, 14, Tier::Avx>,
                                         Member<AvxWaveletNTapsF32, WaveletNTaps, 48, Tier::Avx>>;

template <class... A, class... B>
::testing::Types<A..., B...> concat(::testing::Types<A...>, ::testing::Types<B...>);
using Family = decltype(concat(std::declval<ScalarMembers>(), std::declval<ComparedMembers>()));

constexpr std::array<BorderMode, 5> kModes = {BorderMode::Clamp, BorderMode::Wrap,
                                              BorderMode::Reflect, BorderMode::Reflect101,
                                              BorderMode::Constant};

bool tier_available(Tier tier) {
  if (tier == Tier::Sse) return has_sse_tier();
  if (tier == Tier::Avx) return has_avx_tier();
  return true;
}

// Daubechies taps of N / 2 vanishing moments, rounded to f32 as the factory does.
std::vector<f32> daubechies(std::size_t taps) {
  const auto table = daubechies_taps(static_cast<DaubechiesWavelet>(taps / 2 - 1));
  return std::vector<f32>(table.begin(), table.end());
}

std::vector<f32> random_signal(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<f32> uniform(-1.0f, 1.0f);
  std::vector<f32> x(n);
  for (f32& v : x) v = uniform(rng);
  return x;
}

struct Bands {
  std::vector<f32> approx;
  std::vector<f32> details;
};

Bands forward(const IncompleteDwtExecutor<f32>& executor, std::span<const f32> x) {
  const DwtSize size = executor.dwt_size(x.size());
  Bands bands{std::vector<f32>(size.approximation_length), std::vector<f32>(size.details_length)};
  const VibrelResult<void> done = executor.execute_forward(x, bands.approx, bands.details);
  EXPECT_TRUE(done.has_value()) << done.error().display();
  return bands;
}

std::vector<f32> inverse(const IncompleteDwtExecutor<f32>& executor, const Bands& bands,
                         f32 initial = 0.0f) {
  std::vector<f32> out(executor.idwt_size({bands.approx.size(), bands.details.size()}), initial);
  const VibrelResult<void> done = executor.execute_inverse(bands.approx, bands.details, out);
  EXPECT_TRUE(done.has_value()) << done.error().display();
  return out;
}

// Largest |a[i] - b[i]| over the common prefix.
f32 max_difference(std::span<const f32> a, std::span<const f32> b) {
  f32 worst = 0.0f;
  for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
    worst = std::max(worst, std::fabs(a[i] - b[i]));
  }
  return worst;
}

template <class M>
class FilterBankFamily : public ::testing::Test {
 protected:
  static constexpr std::size_t N = M::kTaps;

  void SetUp() override {
    if (!tier_available(M::kTier)) GTEST_SKIP() << "processor lacks this instruction set";
  }

  typename M::Executor make(BorderMode mode) const { return {mode, taps_}; }
  typename M::Reference reference(BorderMode mode) const { return {mode, taps_}; }

  // Rounding allowance for sums of N products of samples in [-1, 1] by these taps.
  f32 tolerance() const {
    f32 abs_sum = 0.0f;
    for (f32 h : taps_) abs_sum += std::fabs(h);
    return 4.0f * static_cast<f32>(N + 2) * std::ldexp(1.0f, -24) * abs_sum;
  }

  std::vector<f32> taps_ = daubechies(N);
};

TYPED_TEST_SUITE(FilterBankFamily, Family);

TYPED_TEST(FilterBankFamily, InverseReconstructsEveryLengthInEveryMode) {
  constexpr std::size_t N = TypeParam::kTaps;
  for (BorderMode mode : kModes) {
    const auto executor = this->make(mode);
    for (std::size_t n = N; n <= 300; ++n) {
      const std::vector<f32> x = random_signal(n, static_cast<unsigned>(n));
      const std::vector<f32> y = inverse(executor, forward(executor, x));
      ASSERT_EQ(y.size(), n + n % 2) << "n=" << n;
      ASSERT_LE(max_difference(x, y), 4.0f * this->tolerance())
          << "n=" << n << " mode=" << static_cast<int>(mode);
    }
  }
}

template <class M>
class FilterBankAgreement : public FilterBankFamily<M> {};
TYPED_TEST_SUITE(FilterBankAgreement, ComparedMembers);

TYPED_TEST(FilterBankAgreement, AgreesWithScalarCode) {
  constexpr std::size_t N = TypeParam::kTaps;
  std::vector<std::size_t> lengths;
  for (std::size_t n = N; n < N + 40; ++n) lengths.push_back(n);
  for (std::size_t n : {255u, 256u, 1000u, 1001u}) lengths.push_back(n);
  for (BorderMode mode : kModes) {
    const auto executor = this->make(mode);
    const auto reference = this->reference(mode);
    for (std::size_t n : lengths) {
      const std::vector<f32> x = random_signal(n, static_cast<unsigned>(3 * n + 1));
      const Bands got = forward(executor, x);
      const Bands want = forward(reference, x);
      ASSERT_LE(max_difference(got.approx, want.approx), this->tolerance()) << "n=" << n;
      ASSERT_LE(max_difference(got.details, want.details), this->tolerance()) << "n=" << n;
      // Arbitrary coefficients, not only those of a signal.
      const Bands coefficients{random_signal(got.approx.size(), static_cast<unsigned>(n)),
                               random_signal(got.approx.size(), static_cast<unsigned>(n + 7))};
      ASSERT_LE(max_difference(inverse(executor, coefficients), inverse(reference, coefficients)),
                2.0f * this->tolerance())
          << "n=" << n;
    }
  }
}

TYPED_TEST(FilterBankFamily, InverseAddsIntoTheOutput) {
  const auto executor = this->make(BorderMode::Wrap);
  const Bands bands = forward(executor, random_signal(101, 5));
  const std::vector<f32> alone = inverse(executor, bands);
  const std::vector<f32> added = inverse(executor, bands, 10.0f);
  ASSERT_EQ(added.size(), alone.size());
  for (std::size_t i = 0; i < alone.size(); ++i) {
    EXPECT_NEAR(added[i], 10.0f + alone[i], 1e-5f) << i;
  }
}

// Periodic extension: x~[-j] = x[n - j] and x~[n - 1 + j] = x[j - 1]. The expected bands are
// computed directly on the explicitly extended signal.
TYPED_TEST(FilterBankFamily, WrapConvolvesThePeriodicExtension) {
  constexpr std::size_t N = TypeParam::kTaps;
  const auto executor = this->make(BorderMode::Wrap);
  const std::vector<f32> high = low_pass_to_high(this->taps_);
  for (std::size_t n : {N, N + 1, N + 2, 2 * N + 1, std::size_t{64}}) {
    const std::vector<f32> x = random_signal(n, static_cast<unsigned>(n + 11));
    std::vector<f32> extended(x.end() - static_cast<std::ptrdiff_t>(N - 2), x.end());
    extended.insert(extended.end(), x.begin(), x.end());
    extended.insert(extended.end(), x.begin(), x.begin() + static_cast<std::ptrdiff_t>(N - 1));
    const Bands got = forward(executor, x);
    for (std::size_t i = 0; i < got.approx.size(); ++i) {
      double a = 0.0;
      double d = 0.0;
      for (std::size_t k = 0; k < N; ++k) {
        a += static_cast<double>(this->taps_[k]) * extended[2 * i + k];
        d += static_cast<double>(high[k]) * extended[2 * i + k];
      }
      ASSERT_NEAR(got.approx[i], a, this->tolerance()) << "n=" << n << " i=" << i;
      ASSERT_NEAR(got.details[i], d, this->tolerance()) << "n=" << n << " i=" << i;
    }
  }
}

TYPED_TEST(FilterBankFamily, RejectsWrongSizesWithoutWriting) {
  constexpr std::size_t N = TypeParam::kTaps;
  const auto executor = this->make(BorderMode::Reflect);
  const std::size_t n = N + 3;
  const std::size_t m = (n + N - 1) / 2;
  const std::vector<f32> x = random_signal(n, 1);
  struct ForwardCase {
    std::size_t input, approx, details;
    std::string message;
  };
  const std::vector<ForwardCase> forward_cases = {
      {N - 1, m, m,
       "Input size " + std::to_string(N - 1) + " can't be less than " + std::to_string(N)},
      {n, m + 1, m,
       "Approximation and details expected to be half of original signal length "
       "but it was " +
           std::to_string(m + 1)},
      {n, m, m - 1,
       "Approximation and details expected to be half of original signal length "
       "but it was " +
           std::to_string(m - 1)},
  };
  for (const ForwardCase& c : forward_cases) {
    std::vector<f32> approx(c.approx, 7.0f);
    std::vector<f32> details(c.details, 7.0f);
    const auto result = executor.execute_forward(std::span(x).first(c.input), approx, details);
    ASSERT_FALSE(result.has_value()) << c.message;
    EXPECT_EQ(result.error().display(), c.message);
    EXPECT_TRUE(std::ranges::all_of(approx, [](f32 v) { return v == 7.0f; }));
    EXPECT_TRUE(std::ranges::all_of(details, [](f32 v) { return v == 7.0f; }));
  }
  const std::size_t out = 2 * m - N + 2;
  struct InverseCase {
    std::size_t approx, details, output;
    std::string message;
  };
  const std::vector<InverseCase> inverse_cases = {
      {4, 5, out, "Approx and details must match, but they don't 4x5"},
      {m, m, out + 1,
       "Output size should be " + std::to_string(out) + ", but it was " + std::to_string(out + 1)},
      {m, m, out - 1,
       "Output size should be " + std::to_string(out) + ", but it was " + std::to_string(out - 1)},
  };
  for (const InverseCase& c : inverse_cases) {
    const std::vector<f32> approx(c.approx, 1.0f);
    const std::vector<f32> details(c.details, 1.0f);
    std::vector<f32> output(c.output, 7.0f);
    const auto result = executor.execute_inverse(approx, details, output);
    ASSERT_FALSE(result.has_value()) << c.message;
    EXPECT_EQ(result.error().display(), c.message);
    EXPECT_TRUE(std::ranges::all_of(output, [](f32 v) { return v == 7.0f; }));
  }
}

}  // namespace
}  // namespace vibrel
