// inflate_raw takes libdeflate's one-shot path only for a stream that decodes exactly and
// completely to the requested size; every stream must give what zlib's streaming path gives.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "codec/raw_deflate.hpp"

namespace tessarine {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes sample_bytes(std::size_t n) {
  std::mt19937 rng(17);
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i % 7 < 3 ? i : rng());
  return b;
}

struct PathCase {
  std::string name;
  Bytes stream;
  std::size_t size;
  // Whether the one-shot path answers; none where the damage may or may not leave a valid
  // stream of the same length.
  std::optional<bool> one_shot;
};

std::vector<PathCase> path_cases() {
  const Bytes input = sample_bytes(70000);
  const Bytes coded = deflate_raw(input).value();
  Bytes trailing = coded;
  trailing.insert(trailing.end(), {0x00, 0xFF, 0x42});
  Bytes flipped = coded;
  flipped[coded.size() / 3] ^= 0x5A;
  const Bytes stored{0x01, 0x05, 0x00, 0xFA, 0xFF, 'h', 'e', 'l', 'l', 'o'};
  return {
      {"exact", coded, input.size(), true},
      {"exact_stored_block", stored, 5, true},
      {"cut_short", Bytes(coded.begin(), coded.end() - 40), input.size(), false},
      {"more_than_needed", coded, input.size() - 1000, false},
      {"less_than_asked", coded, input.size() + 1, false},
      {"garbage_after_end", trailing, input.size(), false},
      {"bit_flipped", flipped, input.size(), std::nullopt},
      {"reserved_block_type", Bytes{0x07, 0x00, 0x00}, 100, false},
      {"empty_input", Bytes{}, 100, false},
      {"huge_request", coded, std::size_t{1} << 40, false},
  };
}

class InflatePaths : public ::testing::TestWithParam<PathCase> {};

TEST_P(InflatePaths, AgreeWithStreamingInflation) {
  const PathCase& c = GetParam();
  const auto streamed = inflate_raw_zlib(c.stream, c.size);
  const auto chosen = inflate_raw(c.stream, c.size);
  ASSERT_EQ(chosen.has_value(), streamed.has_value());
  if (streamed) {
    EXPECT_EQ(*chosen, *streamed);
  } else {
    EXPECT_EQ(chosen.error().display(), streamed.error().display());
  }
}

TEST_P(InflatePaths, OneShotAnswersOnlyForExactStreams) {
  const PathCase& c = GetParam();
  const auto whole = inflate_raw_whole(c.stream, c.size);
  if (c.one_shot) {
    EXPECT_EQ(whole.has_value(), *c.one_shot && libdeflate_built_in());
  }
  if (whole) {
    EXPECT_EQ(*whole, inflate_raw_zlib(c.stream, c.size).value());
  }
}

INSTANTIATE_TEST_SUITE_P(Streams, InflatePaths, ::testing::ValuesIn(path_cases()),
                         [](const auto& info) { return info.param.name; });

TEST(DeflatePaths, BothCompressorsWriteStreamsZlibReads) {
  for (const std::size_t n : {0u, 1u, 300u, 200000u}) {
    const Bytes input = sample_bytes(n);
    for (const auto& coded : {deflate_raw(input), deflate_raw_zlib(input)}) {
      ASSERT_TRUE(coded) << coded.error().display();
      EXPECT_EQ(inflate_raw_zlib(*coded, n + 1).value(), input) << n;
    }
  }
}

}  // namespace
}  // namespace tessarine
