#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "border_reference.hpp"
#include "vibrel/filter_bank/arena_writer.hpp"
#include "vibrel/cpu/cpu_features.hpp"

namespace vibrel {
namespace {

using testing::kAllBorderModes;
using testing::reference_border_index;

constexpr f32 kCanary = -12345.0f;
constexpr std::size_t kGuard = 16;

struct Variant {
  const char* name;
  ArenaWriter1d write;
  bool (*available)();
};

void PrintTo(const Variant& variant, std::ostream* out) { *out << variant.name; }

bool always() { return true; }

const Variant kVariants[] = {
    {"scalar", write_arena_1d_impl, always},
    {"sse41", sse::write_arena_1d_sse4_1, has_sse41},
    {"avx2", avx::write_arena_1d_avx, has_avx2},
};

class ArenaWriterVariant : public ::testing::TestWithParam<Variant> {
 protected:
  void SetUp() override {
    if (!GetParam().available()) GTEST_SKIP() << GetParam().name << " not offered by this CPU";
  }
};

std::vector<f32> ramp(std::size_t length) {
  std::vector<f32> signal(length);
  for (std::size_t k = 0; k < length; ++k) signal[k] = 1.0f + static_cast<f32>(k);
  return signal;
}

// Runs one variant on an arena framed by canaries; checks every sample against the border
// table and that nothing outside the arena was touched.
void check_variant(ArenaWriter1d write, const std::vector<f32>& signal, std::size_t left,
                   std::size_t right, BorderMode mode) {
  const std::size_t length = signal.size();
  std::vector<f32> buffer(kGuard + left + length + right + kGuard, kCanary);
  write(signal.data(), length, buffer.data() + kGuard, left, right, mode);
  for (std::size_t k = 0; k < kGuard; ++k) {
    ASSERT_EQ(buffer[k], kCanary) << "write before the arena";
    ASSERT_EQ(buffer[buffer.size() - 1 - k], kCanary) << "write past the arena";
  }
  const f32* arena = buffer.data() + kGuard;
  for (std::size_t k = 0; k < left + length + right; ++k) {
    const std::int64_t position = static_cast<std::int64_t>(k) - static_cast<std::int64_t>(left);
    const std::int64_t index =
        reference_border_index(mode, position, static_cast<std::int64_t>(length));
    const f32 expected = index < 0 ? 0.0f : signal[index];
    ASSERT_EQ(arena[k], expected) << "arena slot " << k << " (position " << position << ")";
  }
}

TEST_P(ArenaWriterVariant, WritesTheBorderTableForEveryModeLengthAndPad) {
  for (std::size_t length = 1; length <= 100; ++length) {
    const std::vector<f32> signal = ramp(length);
    const std::size_t pads[] = {0, 1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 33,
                                length - 1, length, length + 1, 2 * length + 3, 3 * length};
    for (BorderMode mode : kAllBorderModes) {
      for (std::size_t left : pads) {
        for (std::size_t right : {pads[(left + length) % 18], left, std::size_t{0}}) {
          SCOPED_TRACE("mode " + std::to_string(static_cast<int>(mode)) + " length " +
                       std::to_string(length) + " pads " + std::to_string(left) + "/" +
                       std::to_string(right));
          check_variant(GetParam().write, signal, left, right, mode);
          if (HasFatalFailure()) return;
        }
      }
    }
  }
}

TEST_P(ArenaWriterVariant, EmptySignalZeroFillsThePads) {
  for (BorderMode mode : kAllBorderModes) {
    std::vector<f32> arena(13, kCanary);
    GetParam().write(nullptr, 0, arena.data(), 6, 7, mode);
    EXPECT_EQ(arena, std::vector<f32>(13, 0.0f));
  }
}

INSTANTIATE_TEST_SUITE_P(AllTiers, ArenaWriterVariant, ::testing::ValuesIn(kVariants),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ArenaWriter, DispatchPicksTheBestTierOnce) {
  const ArenaWriter1d chosen = make_arena_writer_1d_executor();
  const ArenaWriter1d expected = has_avx2()    ? avx::write_arena_1d_avx
                                 : has_sse41() ? sse::write_arena_1d_sse4_1
                                               : write_arena_1d_impl;
  EXPECT_EQ(chosen, expected);
  EXPECT_EQ(make_arena_writer_1d_executor(), chosen);
}

TEST(ArenaWriter, WrongArenaSizeIsRefusedWithoutWriting) {
  const std::vector<f32> signal = ramp(5);
  for (std::size_t size : {std::size_t{9}, std::size_t{11}}) {
    std::vector<f32> arena(size, kCanary);
    VibrelResult<void> result;
    EXPECT_DEBUG_DEATH(result = write_arena_1d(signal, arena, 2, 3, BorderMode::Wrap),
                       "pad_left \\+ length \\+ pad_right");
#ifdef NDEBUG
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().display(),
              "Scratch size expected to be 10 but it was " + std::to_string(size));
    EXPECT_EQ(arena, std::vector<f32>(size, kCanary));
#endif
  }
}

TEST(ArenaWriter, PadsWhoseSumOverflowsAreRefused) {
  const std::vector<f32> signal = ramp(5);
  std::vector<f32> arena(4, kCanary);
  const std::size_t huge = std::numeric_limits<std::size_t>::max() - 2;
  VibrelResult<void> result;
  EXPECT_DEBUG_DEATH(result = write_arena_1d(signal, arena, huge, 1, BorderMode::Clamp),
                     "pad_left \\+ length \\+ pad_right");
#ifdef NDEBUG
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error().kind(), VibrelError::Kind::Overflow);
  EXPECT_EQ(arena, std::vector<f32>(4, kCanary));
#endif
}

}  // namespace
}  // namespace vibrel
