#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string_view>
#include <vector>

#include "entropy/arans.hpp"
#include "entropy/plane_model.hpp"

namespace tessarine::arans {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes text_bytes(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

Bytes random_bytes(std::mt19937& rng, std::size_t n, int spread) {
  std::geometric_distribution<int> small(1.0 / spread);
  Bytes out(n);
  for (auto& b : out) b = static_cast<std::uint8_t>(small(rng) * (rng() & 1 ? -1 : 1));
  return out;
}

TEST(AransError, DisplayTexts) {
  EXPECT_EQ(AransError::truncated().display(), "Stream truncated");
  EXPECT_EQ(AransError::invalid_length().display(), "Inconsistent or oversized length in stream");
  EXPECT_EQ(AransError::truncated().kind(), AransError::Kind::Truncated);
  EXPECT_EQ(AransError::invalid_length().kind(), AransError::Kind::InvalidLength);
}

TEST(AransPlane, KnownCodedBytes) {
  struct Case {
    Bytes symbols;
    unsigned k;
    Bytes coded;
  };
  const Case cases[] = {
      {{}, 3, {}},
      // Eight 0 bits at one half double the state from 2^16 to 2^24: no word is emitted.
      {{0}, 3, {0x00, 0x00, 0x00, 0x01}},
      {text_bytes("abc"), 3, {0x92, 0x35, 0xb4, 0x00, 0x80, 0x33}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(encode_plane(c.symbols, c.k), c.coded);
    EXPECT_EQ(decode_plane(c.coded, c.symbols.size(), c.k), c.symbols);
  }
}

TEST(AransPlane, RoundTripsEveryContextWidthAndShortLength) {
  std::mt19937 rng(31);
  for (unsigned k = 0; k <= kMaxContextBits; ++k) {
    for (std::size_t n = 0; n <= 64; ++n) {
      for (int spread : {1, 8, 100}) {
        const Bytes symbols = random_bytes(rng, n, spread);
        const Bytes coded = encode_plane(symbols, k);
        EXPECT_EQ(coded.empty(), n == 0);
        EXPECT_EQ(decode_plane(coded, n, k), symbols) << "k=" << k << " n=" << n;
      }
    }
  }
}

TEST(AransPlane, RoundTripsLongPlanes) {
  std::mt19937 rng(32);
  for (std::size_t n : {16383u, 16384u, 1000003u}) {
    for (unsigned k : {0u, 3u, 8u}) {
      const Bytes symbols = random_bytes(rng, n, 4);
      EXPECT_EQ(decode_plane(encode_plane(symbols, k), n, k), symbols) << n << " " << k;
    }
  }
  // Uniform bytes are incompressible: about one byte per symbol, and still exact.
  std::uniform_int_distribution<int> byte(0, 255);
  Bytes uniform(300000);
  for (auto& b : uniform) b = static_cast<std::uint8_t>(byte(rng));
  const Bytes coded = encode_plane(uniform, 8);
  EXPECT_LT(coded.size(), uniform.size() * 103 / 100);
  EXPECT_EQ(decode_plane(coded, uniform.size(), 8), uniform);
}

TEST(AransPlane, SaturatedProbabilitiesStayInRange) {
  EXPECT_EQ(adapted_probability(4095, 0), 4095);
  EXPECT_EQ(adapted_probability(1, 1), 1);
  for (std::uint32_t p = 1; p <= kProbabilityMask; ++p) {
    for (std::uint32_t bit : {0u, 1u}) {
      const std::uint16_t next = adapted_probability(p, bit);
      ASSERT_GE(next, 1);
      ASSERT_LE(next, kProbabilityMask);
      ASSERT_EQ(kAdaptedProbability[2 * p + bit], next) << p << " " << bit;
    }
  }
  // In use the 1/16 step rounds to zero before the clamps are reached: a long constant plane
  // settles every probability on its path at 4081 (0x00) or 15 (0xFF), about 0.005 bits per
  // decision, 530 bytes for these 800000 decisions.
  for (std::uint8_t value : {std::uint8_t{0x00}, std::uint8_t{0xFF}}) {
    const Bytes symbols(100000, value);
    const Bytes coded = encode_plane(symbols, 3);
    EXPECT_LT(coded.size(), 600u);
    EXPECT_EQ(decode_plane(coded, symbols.size(), 3), symbols);
  }
}

TEST(AransPlane, DecodeFailsOnMissingBytes) {
  const auto truncated = std::unexpected(AransError::truncated());
  for (std::size_t size = 0; size < 4; ++size) {
    EXPECT_EQ(decode_plane(Bytes(size, 0x55), 1, 3), truncated) << size;
  }
  // A count of 0 never looks at the bytes.
  EXPECT_EQ(decode_plane({}, 0, 3), Bytes{});
  // The decoder mirrors the encoder exactly, so it needs every word: dropping the last one
  // (or half of it) is always noticed.
  std::mt19937 rng(33);
  for (std::size_t n : {3u, 10u, 1000u}) {
    const Bytes symbols = random_bytes(rng, n, 30);
    Bytes coded = encode_plane(symbols, 3);
    ASSERT_GE(coded.size(), 6u);
    for (int drop : {1, 2}) {
      const Bytes cut(coded.begin(), coded.end() - drop);
      EXPECT_EQ(decode_plane(cut, n, 3), truncated) << n << " " << drop;
    }
  }
}

TEST(AransPlane, AppendedBytesAreIgnored) {
  std::mt19937 rng(34);
  const Bytes symbols = random_bytes(rng, 5000, 10);
  Bytes coded = encode_plane(symbols, 8);
  for (std::uint8_t extra : {0x00, 0xFF, 0x5A}) {
    coded.push_back(extra);
    EXPECT_EQ(decode_plane(coded, symbols.size(), 8), symbols);
  }
}

TEST(AransPlane, OutOfRangeArgumentsAreHandled) {
  // Context widths above 8 cannot be decoded; the encoder, which has no error result, uses
  // the whole previous symbol for them, as 8 does.
  const Bytes symbols = text_bytes("context");
  EXPECT_EQ(decode_plane(encode_plane(symbols, 8), symbols.size(), 9),
            std::unexpected(AransError::invalid_length()));
  EXPECT_EQ(encode_plane(symbols, 200), encode_plane(symbols, 8));

  // More symbols than a vector can hold: the output cannot be reserved.
  EXPECT_EQ(decode_plane(Bytes(8, 0xAA), SIZE_MAX, 3),
            std::unexpected(AransError::invalid_length()));
}

}  // namespace
}  // namespace tessarine::arans
