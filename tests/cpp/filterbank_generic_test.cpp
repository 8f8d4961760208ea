// What only the generic executors do: caller-provided scratch, and tap counts the dedicated
// executors never see (zero, odd), checked against the defining sums written out directly.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "vibrel/cpu/cpu_features.hpp"
#include "vibrel/filter_bank/filter_banks.hpp"
#include "vibrel/kernel/filter_padding.hpp"
#include "vibrel/filter_bank/low_pass_to_high.hpp"

namespace vibrel {
namespace {

template <class E>
bool can_run() {
  if constexpr (std::is_same_v<E, SseWaveletNTapsF32>) return has_sse_tier();
  if constexpr (std::is_same_v<E, AvxWaveletNTapsF32>) return has_avx_tier();
  return true;
}

std::vector<f32> random_values(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<f32> uniform(-1.0f, 1.0f);
  std::vector<f32> x(n);
  for (f32& v : x) v = uniform(rng);
  return x;
}

constexpr BorderMode kModes[] = {BorderMode::Clamp, BorderMode::Wrap, BorderMode::Reflect,
                                 BorderMode::Reflect101, BorderMode::Constant};

template <class E>
class GenericFilterBank : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!can_run<E>()) GTEST_SKIP() << "processor lacks this instruction set";
  }
};

using GenericMembers = ::testing::Types<WaveletNTaps, SseWaveletNTapsF32, AvxWaveletNTapsF32>;
TYPED_TEST_SUITE(GenericFilterBank, GenericMembers);

TYPED_TEST(GenericFilterBank, ScratchMustHoldTheArena) {
  const std::vector<f32> taps = random_values(14, 1);
  const TypeParam executor(BorderMode::Reflect, taps);
  for (std::size_t n : {14u, 21u, 40u}) {
    const std::vector<f32> x = random_values(n, static_cast<unsigned>(n));
    const std::size_t m = (n + 13) / 2;
    const std::size_t arena = 2 * m + 14 - 2;
    ASSERT_EQ(executor.required_scratch_size(n), arena);
    std::vector<f32> want_a(m), want_d(m);
    ASSERT_TRUE(executor.execute_forward(x, want_a, want_d).has_value());

    std::vector<f32> a(m, 7.0f), d(m, 7.0f);
    std::vector<f32> short_scratch(arena - 1);
    const auto refused = executor.execute_forward_with_scratch(x, a, d, short_scratch);
    ASSERT_FALSE(refused.has_value());
    EXPECT_EQ(refused.error().display(), "Scratch size expected to be " + std::to_string(arena) +
                                             " but it was " + std::to_string(arena - 1));
    EXPECT_TRUE(std::ranges::all_of(a, [](f32 v) { return v == 7.0f; }));

    // A longer scratch works, and the samples past the arena stay untouched.
    std::vector<f32> long_scratch(arena + 9, -3.0f);
    ASSERT_TRUE(executor.execute_forward_with_scratch(x, a, d, long_scratch).has_value());
    EXPECT_EQ(a, want_a);
    EXPECT_EQ(d, want_d);
    EXPECT_TRUE(std::all_of(long_scratch.begin() + static_cast<std::ptrdiff_t>(arena),
                            long_scratch.end(), [](f32 v) { return v == -3.0f; }));
  }
}

// Zero taps are accepted: bands of the usual sizes, filled with zeros; the inverse adds nothing.
TYPED_TEST(GenericFilterBank, ZeroTapsGiveZeroBands) {
  const TypeParam executor(BorderMode::Wrap, std::span<const f32>{});
  EXPECT_EQ(executor.filter_length(), 0u);
  for (std::size_t n : {0u, 1u, 2u, 5u, 64u}) {
    const std::vector<f32> x = random_values(n, 3);
    const std::size_t m = n == 0 ? 0 : (n - 1) / 2;
    ASSERT_EQ(executor.dwt_size(n), (DwtSize{m, m})) << n;
    std::vector<f32> a(m, 7.0f), d(m, 7.0f);
    ASSERT_TRUE(executor.execute_forward(x, a, d).has_value()) << n;
    EXPECT_TRUE(std::ranges::all_of(a, [](f32 v) { return v == 0.0f; }));
    EXPECT_TRUE(std::ranges::all_of(d, [](f32 v) { return v == 0.0f; }));
    std::vector<f32> out(executor.idwt_size({m, m}), 7.0f);
    ASSERT_TRUE(executor.execute_inverse(a, d, out).has_value()) << n;
    EXPECT_TRUE(std::ranges::all_of(out, [](f32 v) { return v == 7.0f; }));
  }
}

// approx[i] = sum_k h[k] x~[2i - (N - 2) + k] with x~ read through the border mapping, and
// out[t] += h[k] a[j] + g[k] d[j] for every t = 2j + k - (N - 2) inside the output.
struct DirectSums {
  std::vector<f32> h, g;

  void forward(BorderMode mode, const std::vector<f32>& x, std::vector<double>& a,
               std::vector<double>& d) const {
    const auto border = BorderInterpolation::make(mode, 0, static_cast<std::int64_t>(x.size()));
    const std::int64_t n_taps = static_cast<std::int64_t>(h.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
      a[i] = d[i] = 0.0;
      for (std::int64_t k = 0; k < n_taps; ++k) {
        const double sample =
            border.sample(x.data(), 2 * static_cast<std::int64_t>(i) - (n_taps - 2) + k);
        a[i] += h[static_cast<std::size_t>(k)] * sample;
        d[i] += g[static_cast<std::size_t>(k)] * sample;
      }
    }
  }

  std::vector<double> inverse(const std::vector<f32>& a, const std::vector<f32>& d,
                              std::size_t length) const {
    std::vector<double> out(length, 0.0);
    const std::int64_t n_taps = static_cast<std::int64_t>(h.size());
    for (std::size_t j = 0; j < a.size(); ++j) {
      for (std::int64_t k = 0; k < n_taps; ++k) {
        const std::int64_t t = 2 * static_cast<std::int64_t>(j) + k - (n_taps - 2);
        if (t < 0 || t >= static_cast<std::int64_t>(length)) continue;
        out[static_cast<std::size_t>(t)] +=
            static_cast<double>(h[static_cast<std::size_t>(k)]) * a[j] +
            static_cast<double>(g[static_cast<std::size_t>(k)]) * d[j];
      }
    }
    return out;
  }
};

TYPED_TEST(GenericFilterBank, OddAndUnusualTapCountsComputeTheDefiningSums) {
  for (std::size_t taps : {1u, 3u, 5u, 7u, 14u, 20u}) {
    const std::vector<f32> h = random_values(taps, static_cast<unsigned>(taps));
    const DirectSums sums{h, low_pass_to_high(h)};
    const f32 tol = 1e-5f * static_cast<f32>(taps);
    for (BorderMode mode : kModes) {
      const TypeParam executor(mode, sums.h);
      for (std::size_t n = taps; n < taps + 40; ++n) {
        const std::vector<f32> x = random_values(n, static_cast<unsigned>(n * 31 + taps));
        const std::size_t m = executor.dwt_size(n).approximation_length;
        ASSERT_EQ(m, (n + taps - 1) / 2);
        std::vector<f32> a(m), d(m);
        ASSERT_TRUE(executor.execute_forward(x, a, d).has_value());
        std::vector<double> want_a(m), want_d(m);
        sums.forward(mode, x, want_a, want_d);
        for (std::size_t i = 0; i < m; ++i) {
          ASSERT_NEAR(a[i], want_a[i], tol) << "N=" << taps << " n=" << n << " i=" << i;
          ASSERT_NEAR(d[i], want_d[i], tol) << "N=" << taps << " n=" << n << " i=" << i;
        }
        std::vector<f32> out(executor.idwt_size({m, m}));
        ASSERT_EQ(out.size(), 2 * m + 2 - taps);
        ASSERT_TRUE(executor.execute_inverse(a, d, out).has_value());
        const std::vector<double> want_out = sums.inverse(a, d, out.size());
        for (std::size_t t = 0; t < out.size(); ++t) {
          ASSERT_NEAR(out[t], want_out[t], tol) << "N=" << taps << " n=" << n << " t=" << t;
        }
      }
    }
  }
}

// Band lengths no forward transform produces: the output length bottoms out at zero instead
// of wrapping around, and nothing is written.
TYPED_TEST(GenericFilterBank, TooFewCoefficientsGiveAnEmptyOutput) {
  const TypeParam executor(BorderMode::Wrap, random_values(20, 2));
  for (std::size_t m : {0u, 1u, 8u, 9u}) {
    EXPECT_EQ(executor.idwt_size({m, m}), 0u) << m;
    const std::vector<f32> a(m, 1.0f), d(m, 1.0f);
    std::vector<f32> out;
    EXPECT_TRUE(executor.execute_inverse(a, d, out).has_value()) << m;
  }
  EXPECT_EQ(executor.idwt_size({10, 10}), 2u);
}

}  // namespace
}  // namespace vibrel
