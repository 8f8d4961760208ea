#include "vibrel/lifting/cdf53f.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lifting_test_support.hpp"

namespace vibrel {
namespace {

template <class Executor>
class Cdf53Test : public LiftingTest<Executor> {};
using Paths = ::testing::Types<Cdf53, AvxCdf53>;
TYPED_TEST_SUITE(Cdf53Test, Paths);

TYPED_TEST(Cdf53Test, SizeRules) {
  struct Case {
    std::size_t n, approximation, details;
  };
  for (const Case c : {Case{0, 2, 1},
                       {1, 2, 1},
                       {2, 2, 1},
                       {3, 2, 1},
                       {4, 2, 2},
                       {5, 3, 2},
                       {6, 3, 3},
                       {1001, 501, 500}}) {
    EXPECT_EQ(this->executor->dwt_size(c.n), (DwtSize{c.approximation, c.details})) << c.n;
    EXPECT_EQ(this->executor->required_scratch_size(c.n), 0u);
  }
  EXPECT_EQ(this->executor->idwt_size({3, 2}), 5u);
  EXPECT_EQ(this->executor->idwt_size({1, 1}), 3u);
  EXPECT_EQ(this->executor->filter_length(), 6u);
}

// Size errors name the given length, then the required one; a failed check writes nothing.
TYPED_TEST(Cdf53Test, SizeErrorsLeaveOutputsUntouched) {
  struct Case {
    std::size_t in, a, d;
    bool forward;
    const char* text;
  };
  for (const Case c : {
           Case{2, 2, 1, true, "Input size 2 can't be less than 3"},
           {0, 0, 0, true, "Input size 0 can't be less than 3"},
           {5, 2, 2, true, "Approximate size 2 does not match required size 3"},
           {5, 3, 3, true, "Details size 3 does not match required size 2"},
           {4, 2, 1, false, "Output size should be 3, but it was 4"},
           {0, 0, 0, false, "Approximate size 0 does not match required size 2"},
           {4, 3, 1, false, "Approximate size 3 does not match required size 2"},
           {2, 2, 0, false, "Details size 0 does not match required size 1"},
       }) {
    std::vector<f32> signal(c.in, 7.0f), a(c.a, 7.0f), d(c.d, 7.0f);
    const auto done = c.forward ? this->executor->execute_forward(signal, a, d)
                                : this->executor->execute_inverse(a, d, signal);
    ASSERT_FALSE(done.has_value()) << c.text;
    EXPECT_EQ(done.error().display(), c.text);
    for (const auto* v : {&signal, &a, &d}) EXPECT_EQ(*v, std::vector<f32>(v->size(), 7.0f));
  }
}

TYPED_TEST(Cdf53Test, LevelOperations) {
  const auto& executor = *this->executor;
  const std::vector<f32> two{1.0f, 2.0f};
  const std::string too_small = "Buffer was too small for provided level";
  for (std::size_t level : {0u, 1u, 2u}) {
    EXPECT_EQ(executor.dwt(two, level).error().display(), too_small);
    EXPECT_EQ(executor.multi_dwt(two, level).error().display(), too_small);
    if (level < 2) {
      EXPECT_EQ(executor.multi_dwt(std::vector<f32>(9), level).value().levels.size(), 1u);
    }
  }
  const std::vector<f32> band(2, 1.0f);
  const std::string zero = "Zero sized input is not supported";
  EXPECT_EQ(executor.multi_idwt({{band}, {}}).error().display(), zero);
  EXPECT_EQ(executor.multi_idwt({{}, band}).error().display(), zero);
  // idwt takes bands of any lengths and lets the inverse's checks decide.
  EXPECT_EQ(executor.idwt({std::vector<f32>(3), std::vector<f32>(1)}).error().display(),
            "Approximate size 3 does not match required size 2");
  this->expect_multi_level_round_trips();
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
  this->expect_reconstructs_every_length();
}

TYPED_TEST(Cdf53Test, MatchesReferenceBitForBit) {
  this->expect_matches_reference();
}

TYPED_TEST(Cdf53Test, ConsumingTransformsMatchTheirViewForms) {
  this->expect_consuming_transforms_match();
}

TEST(Cdf53Paths, AvxAgreesWithScalar) {
  expect_avx_agrees_with_scalar<Cdf53, AvxCdf53>();
}

}  // namespace
}  // namespace vibrel
