#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "predictive/code_coder.hpp"
#include "predictive/code_tokens.hpp"

namespace tessarine::predictive {
namespace {

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

// Zigzagged two-sided geometric residuals of mean magnitude `mean`; a `mean` of 0 gives bursts
// of varied magnitude with a rare huge reserved code.
std::vector<std::uint64_t> residual_codes(std::size_t n, double mean, std::uint64_t seed) {
  std::mt19937_64 random(seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const double burst_means[] = {0.5, 4.0, 60.0, 3000.0};
  double m = mean;
  std::vector<std::uint64_t> codes(n);
  for (std::size_t i = 0; i < n; ++i) {
    if (mean == 0 && i % 500 == 0) m = burst_means[random() % 4];
    const double magnitude = std::floor(std::log(1 - unit(random)) / std::log(m / (m + 1)));
    const auto v = static_cast<std::uint64_t>(magnitude);
    codes[i] = 2 * v - (random() & 1 && v ? 1 : 0);
    if (mean == 0 && random() % 1000 == 0) codes[i] = (kMax >> 1) + 7;
  }
  return codes;
}

// Almost every code the same, a few large ones first: both the token stream and the extra
// bits end long before the last code, so the decoder's word-at-a-time loop goes on over
// padded copies of their ends.
std::vector<std::uint64_t> front_loaded_codes(std::size_t n, std::uint64_t seed) {
  std::vector<std::uint64_t> codes(n, 1);
  const auto large = residual_codes(std::min<std::size_t>(n, 24), 3000.0, seed);
  std::copy(large.begin(), large.end(), codes.begin());
  for (std::size_t i = 97; i < n; i += 4099) codes[i] = 2;
  return codes;
}

std::vector<std::uint8_t> encoded(const std::vector<std::uint64_t>& codes) {
  std::vector<std::uint8_t> bytes;
  EXPECT_TRUE(encode_codes(codes, bytes).has_value());
  return bytes;
}

// Empirical order-0 entropy of the tokens plus their extra bits, in bytes.
double order0_bytes(const std::vector<std::uint64_t>& codes) {
  std::vector<double> counts(kTokenCount);
  double bits = 0;
  for (std::uint64_t v : codes) {
    counts[token_of(v)] += 1;
    bits += extra_bits_of_token(token_of(v));
  }
  for (double c : counts) bits += c ? c * std::log2(codes.size() / c) : 0;
  return bits / 8;
}

void expect_round_trip(const std::vector<std::uint64_t>& codes, const std::string& label) {
  std::vector<std::uint8_t> bytes = encoded(codes);
  bytes.push_back(0xA5);  // what follows a chunk is not its business
  std::vector<std::uint64_t> decoded(codes.size(), 12345);
  const auto used = decode_codes(bytes, decoded);
  ASSERT_TRUE(used.has_value()) << label << ": " << used.error().display();
  EXPECT_EQ(*used, bytes.size() - 1) << label;
  EXPECT_EQ(decoded, codes) << label;
}

TEST(PredictiveCodeCoder, RoundTripsEveryDistributionAndSize) {
  std::mt19937_64 random(7);
  for (std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{2}, std::size_t{3},
                        std::size_t{5}, std::size_t{17}, std::size_t{200}, std::size_t{1000},
                        std::size_t{4097}, kCodeChunk}) {
    for (double mean : {0.0, 0.5, 4.0, 60.0, 3000.0}) {
      expect_round_trip(residual_codes(n, mean, n + 1),
                        "n=" + std::to_string(n) + " mean=" + std::to_string(mean));
    }
    std::vector<std::uint64_t> wide(n);
    for (auto& v : wide) v = random() >> (random() % 64);
    expect_round_trip(wide, "wide n=" + std::to_string(n));
  }
}

TEST(PredictiveCodeCoder, RoundTripsExtremesAndTokenEdges) {
  std::vector<std::uint64_t> edges{0, 1, 15, 16, 17, 23, 24, kMax, kMax - 1, kMax >> 1};
  for (unsigned b = 4; b < 64; ++b) {
    for (std::uint64_t v : {std::uint64_t{1} << b, (std::uint64_t{1} << b) - 1,
                            (std::uint64_t{5} << (b - 2)) + 1, (std::uint64_t{7} << (b - 2)) - 1}) {
      edges.push_back(v);
    }
  }
  expect_round_trip(edges, "edges");
  for (std::uint64_t v : {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{1000}, kMax}) {
    for (std::size_t n : {std::size_t{1}, std::size_t{300}, kCodeChunk}) {
      expect_round_trip(std::vector<std::uint64_t>(n, v), "constant " + std::to_string(v));
    }
  }
  std::vector<std::uint64_t> alternating(kCodeChunk);
  for (std::size_t i = 0; i < alternating.size(); ++i) alternating[i] = i % 2 ? kMax : 0;
  expect_round_trip(alternating, "alternating");
}

// The encoder hands a group of four codes' extra bits to its writer as one value when they
// total at most 56 bits: groups on both sides of that limit, with every bit pattern's ends set.
TEST(PredictiveCodeCoder, GroupsOfExtraBitsOnBothSidesOfThePackingLimit) {
  const std::vector<std::array<unsigned, 4>> groups{
      {14, 14, 14, 14}, {14, 14, 14, 15}, {0, 0, 0, 56}, {0, 0, 0, 57}, {61, 0, 0, 0},
      {2, 61, 2, 61}, {27, 0, 29, 0}, {20, 20, 16, 0}, {20, 20, 17, 0}};
  std::vector<std::uint64_t> codes;
  for (std::size_t round = 0; round < 3; ++round) {  // also after a partial group
    for (const auto& group : groups) {
      for (unsigned extra : group) {
        // Top bit at extra + 2, then pattern bits: 1 at both ends of the extra bits.
        const std::uint64_t top = std::uint64_t{1} << (extra + 2);
        codes.push_back(extra == 0 ? 3 : top | (top >> 1) | (std::uint64_t{1} << (extra - 1)) | 1);
      }
    }
    expect_round_trip(codes, "round " + std::to_string(round));
    codes.push_back(9);
  }
}

TEST(PredictiveCodeCoder, ConcatenatedChunksDecodeInSequence) {
  std::vector<std::vector<std::uint64_t>> chunks;
  std::vector<std::uint8_t> bytes;
  std::size_t seed = 1;
  for (std::size_t n : {std::size_t{100}, kCodeChunk, std::size_t{0}, std::size_t{1},
                        std::size_t{5000}, std::size_t{64}}) {
    chunks.push_back(residual_codes(n, seed % 3 ? 4.0 : 0.0, seed));
    ++seed;
    ASSERT_TRUE(encode_codes(chunks.back(), bytes).has_value());
  }
  chunks.push_back(std::vector<std::uint64_t>(77, 3));
  ASSERT_TRUE(encode_codes(chunks.back(), bytes).has_value());
  std::size_t at = 0;
  for (const auto& chunk : chunks) {
    std::vector<std::uint64_t> decoded(chunk.size());
    const auto used = decode_codes(std::span(bytes).subspan(at), decoded);
    ASSERT_TRUE(used.has_value()) << used.error().display();
    EXPECT_EQ(decoded, chunk);
    at += *used;
  }
  EXPECT_EQ(at, bytes.size());
}

TEST(PredictiveCodeCoder, SizesStayCloseToTheEntropy) {
  EXPECT_EQ(encoded(std::vector<std::uint64_t>(kCodeChunk, 0)).size(), 2u);
  EXPECT_LE(encoded(std::vector<std::uint64_t>(kCodeChunk, kMax)).size(), 11u);
  for (double mean : {0.5, 4.0, 60.0, 3000.0}) {
    const auto codes = residual_codes(kCodeChunk, mean, 99);
    EXPECT_LE(encoded(codes).size(), 1.02 * order0_bytes(codes)) << mean;
  }
  // Bursts of varied magnitude: the contexts must beat the order-0 entropy clearly.
  const auto bursts = residual_codes(kCodeChunk, 0.0, 5);
  EXPECT_LE(encoded(bursts).size(), 0.95 * order0_bytes(bursts));
  // Short chunks pay a few bytes, not a table's worth: a chunk of mean 4 costs its
  // distribution's entropy (geometric magnitude plus a sign when not 0) and a little more.
  const double bits_per_code = 5 * std::log2(5.0) - 4 * std::log2(4.0) + 0.8;
  for (std::size_t n : {1, 2, 10, 50, 200}) {
    const auto codes = residual_codes(n, 4.0, n);
    EXPECT_LE(encoded(codes).size(), 1.15 * n * bits_per_code / 8 + 3) << n;
  }
}

std::string decode_error(std::vector<std::uint8_t> bytes, std::size_t n) {
  std::vector<std::uint64_t> codes(n);
  const auto result = decode_codes(bytes, codes);
  return result ? "decoded" : result.error().display();
}

TEST(PredictiveCodeCoder, RejectsInvalidChunksByName) {
  const std::string damaged = "frame is damaged: ";
  // rANS, one context, tokens 0 and 1 with frequencies 1024 + 1023, one short of the total.
  EXPECT_EQ(decode_error({2, 1, 0, 1, 0xFF, 0x07, 0xFE, 0x07}, 4), damaged + "code table is invalid");
  // A frequency of 2049.
  EXPECT_EQ(decode_error({2, 1, 0, 0, 0x80, 0x10}, 4), damaged + "code table is invalid");
  // A run past the last token.
  EXPECT_EQ(decode_error({2, 1, 250, 9}, 4), damaged + "code table is invalid");
  EXPECT_EQ(decode_error({3, 1, 2, 0, 0}, 4), damaged + "code table is cut short");
  // Thresholds must rise.
  EXPECT_EQ(decode_error({4, 3, 3}, 4), damaged + "code contexts are invalid");
  EXPECT_EQ(decode_error({8}, 4), damaged + "code mode is invalid");
  EXPECT_EQ(decode_error({1, 64, 0}, 4), damaged + "code parameter is invalid");
  EXPECT_EQ(decode_error({}, 1), damaged + "codes are cut short");
  EXPECT_EQ(decode_error({0, 0x80}, 1), damaged + "codes are cut short");
  std::vector<std::uint8_t> ignored;
  const std::vector<std::uint64_t> too_many(kCodeChunk + 1);
  EXPECT_EQ(encode_codes(too_many, ignored).error().display(), "too many codes for one chunk");
}

// A hand-made rANS chunk read as an outside decoder would: one context coding token 16 only
// (codes 16..19, two extra bits each), the extra bits' size and bytes, then four lane states
// that stay at 2^16.
std::vector<std::uint8_t> token16_chunk(std::uint8_t extra_size, std::vector<std::uint8_t> extras) {
  std::vector<std::uint8_t> bytes{2, 1, 16, 0, 0xFF, 0x0F, extra_size};
  bytes.insert(bytes.end(), extras.begin(), extras.end());
  for (int lane = 0; lane < 4; ++lane) bytes.insert(bytes.end(), {0, 0, 1, 0});
  return bytes;
}

TEST(PredictiveCodeCoder, ExtraBitsFillTheirDeclaredBytes) {
  std::vector<std::uint64_t> codes(4);
  const auto bytes = token16_chunk(1, {0xE4});  // bits 00, 10, 01, 11 least significant first
  const auto used = decode_codes(bytes, codes);
  ASSERT_TRUE(used.has_value()) << used.error().display();
  EXPECT_EQ(*used, bytes.size());
  EXPECT_EQ(codes, (std::vector<std::uint64_t>{16, 17, 18, 19}));
  const std::string damaged = "frame is damaged: ";
  EXPECT_EQ(decode_error(token16_chunk(2, {0xE4, 0}), 4), damaged + "code stream is invalid");
  EXPECT_EQ(decode_error(token16_chunk(0, {}), 4), damaged + "codes are cut short");
  EXPECT_EQ(decode_error(token16_chunk(100, {0xE4}), 4), damaged + "codes are cut short");
}

TEST(PredictiveCodeCoder, RoundTripsCodesWhoseExtraBitsEndEarly) {
  for (std::size_t n : {std::size_t{40}, std::size_t{5000}, kCodeChunk}) {
    expect_round_trip(front_loaded_codes(n, n), "front-loaded n=" + std::to_string(n));
  }
}

TEST(PredictiveCodeCoder, TruncatedChunksAreRejected) {
  for (double mean : {-1.0, 0.0, 4.0, 3000.0}) {
    for (std::size_t n : {std::size_t{3}, std::size_t{150}, std::size_t{6000}}) {
      const auto codes = mean < 0 ? front_loaded_codes(n, n) : residual_codes(n, mean, n);
      const auto bytes = encoded(codes);
      for (std::size_t cut = 0; cut < bytes.size(); cut += 1 + cut / 16) {
        std::vector<std::uint64_t> decoded(n);
        const auto result = decode_codes(std::span(bytes).first(cut), decoded);
        ASSERT_FALSE(result.has_value()) << "n=" << n << " cut=" << cut;
        EXPECT_EQ(result.error().kind(), PredictiveError::Kind::Damaged);
      }
    }
  }
}

// Under the sanitizers this is the check that no input reads or writes out of bounds.
TEST(PredictiveCodeCoder, MutatedChunksNeverMisbehave) {
  std::mt19937_64 random(2024);
  std::size_t accepted = 0;
  std::size_t tries = 0;
  for (double mean : {0.0, 0.5, 60.0}) {
    for (std::size_t n : {std::size_t{40}, std::size_t{3000}, kCodeChunk}) {
      const auto bytes = encoded(residual_codes(n, mean, n + 3));
      for (int round = 0; round < (n == kCodeChunk ? 40 : 300); ++round, ++tries) {
        auto mutated = bytes;
        for (int flips = 1 + random() % 4; flips-- > 0;) {
          // Half the flips land in the first bytes: mode, thresholds, tables, states.
          const std::size_t reach = random() % 2 ? std::min<std::size_t>(mutated.size(), 64)
                                                 : mutated.size();
          mutated[random() % reach] ^= static_cast<std::uint8_t>(1u << random() % 8);
        }
        mutated.resize(mutated.size() - random() % 2 * (random() % mutated.size()));
        std::vector<std::uint64_t> decoded(n);
        const auto result = decode_codes(mutated, decoded);
        if (result) {
          EXPECT_LE(*result, mutated.size());
          ++accepted;
        }
      }
    }
  }
  EXPECT_LT(accepted, tries / 2);  // most damage is noticed
}

}  // namespace
}  // namespace tessarine::predictive
