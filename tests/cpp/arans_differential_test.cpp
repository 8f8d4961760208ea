// The optimised coder against a deliberately plain one written straight from the algorithm:
// one decision at a time, a hardware divide, a byte vector reversed at the end. Both must
// produce the same bytes, the same symbols and the same errors on any input.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

#include "entropy/arans.hpp"

namespace tessarine::arans {
namespace {

using Bytes = std::vector<std::uint8_t>;

// ---- Reference coder -------------------------------------------------------------------

std::uint16_t reference_adapt(std::uint32_t p, std::uint32_t bit) {
  std::uint32_t next = bit == 0 ? p + ((4096 - p) >> 4) : p - (p >> 4);
  return static_cast<std::uint16_t>(std::clamp<std::uint32_t>(next, 1, 4095));
}

Bytes reference_encode_plane(const Bytes& symbols, unsigned k) {
  Bytes out;
  if (symbols.empty()) return out;
  std::vector<std::uint16_t> table(std::size_t{256} << k, 2048);
  std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs;
  std::uint32_t previous = 0;
  for (std::uint8_t symbol : symbols) {
    std::uint32_t node = 1;
    for (int b = 7; b >= 0; --b) {
      const std::uint32_t bit = (symbol >> b) & 1;
      std::uint16_t& p = table[((previous >> (8 - k)) << 8) | node];
      pairs.emplace_back(bit ? 4096 - p : p, bit ? p : 0);
      p = reference_adapt(p, bit);
      node = 2 * node + bit;
    }
    previous = symbol;
  }
  std::uint32_t x = 65536;
  for (auto it = pairs.rbegin(); it != pairs.rend(); ++it) {
    const auto [frequency, start] = *it;
    while (x >= (frequency << 20)) {
      out.push_back(static_cast<std::uint8_t>((x >> 8) & 0xFF));
      out.push_back(static_cast<std::uint8_t>(x & 0xFF));
      x >>= 16;
    }
    x = (x / frequency) * 4096 + (x % frequency) + start;
  }
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(x >> shift));
  std::reverse(out.begin(), out.end());
  return out;
}

// nullopt stands for Truncated, the only error a plane can give at these sizes.
std::optional<Bytes> reference_decode_plane(const Bytes& coded, std::size_t count, unsigned k) {
  Bytes out;
  if (count == 0) return out;
  if (coded.size() < 4) return std::nullopt;
  std::vector<std::uint16_t> table(std::size_t{256} << k, 2048);
  std::uint32_t x = coded[0] | coded[1] << 8 | coded[2] << 16 | std::uint32_t{coded[3]} << 24;
  std::size_t position = 4;
  std::uint32_t previous = 0;
  for (std::size_t i = 0; i < count; ++i) {
    std::uint32_t node = 1;
    for (int d = 0; d < 8; ++d) {
      std::uint16_t& p = table[((previous >> (8 - k)) << 8) | node];
      const std::uint32_t r = x & 0xFFF;
      const std::uint32_t bit = r >= p ? 1 : 0;
      x = bit == 0 ? p * (x >> 12) + r : (4096 - p) * (x >> 12) + r - p;
      while (x < 65536) {
        if (position + 2 > coded.size()) return std::nullopt;
        x = (x << 16) | coded[position] | coded[position + 1] << 8;
        position += 2;
      }
      p = reference_adapt(p, bit);
      node = 2 * node + bit;
    }
    out.push_back(static_cast<std::uint8_t>(node & 0xFF));
    previous = out.back();
  }
  return out;
}

// ---- Random inputs ---------------------------------------------------------------------

enum class Shape { Uniform, Laplacian, Constant, Runs, SparseSpikes };
constexpr Shape kShapes[] = {Shape::Uniform, Shape::Laplacian, Shape::Constant, Shape::Runs,
                             Shape::SparseSpikes};

Bytes random_symbols(std::mt19937& rng, std::size_t n, Shape shape) {
  Bytes out(n);
  std::uniform_int_distribution<int> byte(0, 255);
  std::geometric_distribution<int> small(0.4);
  const auto constant = static_cast<std::uint8_t>(byte(rng));
  std::uint8_t run_value = 0;
  for (std::size_t i = 0; i < n; ++i) {
    switch (shape) {
      case Shape::Uniform:
        out[i] = static_cast<std::uint8_t>(byte(rng));
        break;
      case Shape::Laplacian: {
        const int magnitude = std::min(small(rng), 127);
        out[i] = static_cast<std::uint8_t>(rng() & 1 ? -magnitude : magnitude);
        break;
      }
      case Shape::Constant:
        out[i] = constant;
        break;
      case Shape::Runs:
        if (byte(rng) < 8) run_value = static_cast<std::uint8_t>(byte(rng));
        out[i] = run_value;
        break;
      case Shape::SparseSpikes:
        out[i] = byte(rng) < 3 ? static_cast<std::uint8_t>(byte(rng)) : 0;
        break;
    }
  }
  return out;
}

Bytes random_bytes(std::mt19937& rng, std::size_t n) {
  return random_symbols(rng, n, Shape::Uniform);
}

std::optional<Bytes> optimised_decode(const Bytes& coded, std::size_t count, unsigned k) {
  auto decoded = decode_plane(coded, count, k);
  if (!decoded) {
    EXPECT_EQ(decoded.error(), AransError::truncated());
    return std::nullopt;
  }
  return *decoded;
}

// ---- Tests -----------------------------------------------------------------------------

TEST(AransDifferential, EncodedPlanesMatchTheReferenceByteForByte) {
  std::mt19937 rng(1234);
  std::uniform_int_distribution<std::size_t> length(0, 3000);
  for (unsigned k = 0; k <= 8; ++k) {
    for (Shape shape : kShapes) {
      for (int trial = 0; trial < 6; ++trial) {
        const Bytes symbols = random_symbols(rng, length(rng), shape);
        const Bytes expected = reference_encode_plane(symbols, k);
        ASSERT_EQ(encode_plane(symbols, k), expected)
            << "k=" << k << " shape=" << static_cast<int>(shape) << " n=" << symbols.size();
        ASSERT_EQ(optimised_decode(expected, symbols.size(), k), symbols);
      }
    }
  }
}

TEST(AransDifferential, LongSkewedPlanesMatchTheReference) {
  // Long runs drive probabilities into saturation and the state through every renorm path.
  std::mt19937 rng(99);
  for (Shape shape : {Shape::Constant, Shape::SparseSpikes, Shape::Laplacian}) {
    const Bytes symbols = random_symbols(rng, 200000, shape);
    for (unsigned k : {0u, 3u, 8u}) {
      const Bytes expected = reference_encode_plane(symbols, k);
      ASSERT_EQ(encode_plane(symbols, k), expected);
      ASSERT_EQ(optimised_decode(expected, symbols.size(), k), symbols);
    }
  }
}

TEST(AransDifferential, ArbitraryCodedBytesDecodeLikeTheReference) {
  // Garbage includes initial states below 2^16, even 0, and runs of zero words: the decoder
  // must take the same path as the reference, symbol for symbol, or fail the same way.
  std::mt19937 rng(777);
  std::uniform_int_distribution<std::size_t> length(0, 200);
  std::uniform_int_distribution<std::size_t> count(0, 400);
  for (int trial = 0; trial < 3000; ++trial) {
    Bytes coded = random_bytes(rng, length(rng));
    // Bytes 2 and 3 zero give an initial state below 2^16; all four zero give state 0.
    if (trial % 3 == 0 && coded.size() >= 4) std::fill_n(coded.begin() + 2, 2, 0);
    if (trial % 6 == 0 && coded.size() >= 4) std::fill_n(coded.begin(), 2, 0);
    if (trial % 5 == 0) std::fill(coded.begin(), coded.begin() + coded.size() / 2, 0);
    const unsigned k = trial % 9;
    const std::size_t n = count(rng);
    ASSERT_EQ(optimised_decode(coded, n, k), reference_decode_plane(coded, n, k))
        << "trial " << trial;
  }
}

TEST(AransDifferential, DamagedValidPlanesDecodeLikeTheReference) {
  std::mt19937 rng(4242);
  for (int trial = 0; trial < 400; ++trial) {
    const unsigned k = trial % 9;
    const Bytes symbols = random_symbols(rng, 1 + trial * 7, kShapes[trial % 5]);
    Bytes coded = reference_encode_plane(symbols, k);
    coded[rng() % coded.size()] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
    coded.resize(coded.size() - rng() % std::min<std::size_t>(coded.size(), 6));
    ASSERT_EQ(optimised_decode(coded, symbols.size(), k),
              reference_decode_plane(coded, symbols.size(), k))
        << "trial " << trial;
  }
}

TEST(AransDifferential, StreamsSplitIntoTheReferencePlanes) {
  // The stream coder codes both planes in one loop; each must still equal its own plane.
  std::mt19937 rng(5);
  for (std::size_t n : {6u, 7u, 100u, 101u, 16383u, 16384u, 16385u, 70001u}) {
    const Bytes input = random_symbols(rng, n, kShapes[n % 5]);
    Bytes low, high;
    for (std::size_t i = 0; i + 1 < n; i += 2) {
      low.push_back(input[i]);
      high.push_back(input[i + 1]);
    }
    const unsigned k = n < 16384 ? 3 : 8;
    const Bytes low_coded = reference_encode_plane(low, k);
    const Bytes stream = encode_stream(input);
    const std::size_t header =
        stream.size() - low_coded.size() - reference_encode_plane(high, k).size() - n % 2;
    ASSERT_EQ(Bytes(stream.begin() + header, stream.begin() + header + low_coded.size()), low_coded)
        << n;
    ASSERT_EQ(Bytes(stream.begin() + header + low_coded.size(), stream.end() - n % 2),
              reference_encode_plane(high, k))
        << n;
  }
}

}  // namespace
}  // namespace tessarine::arans
