// The encoder cuts long planes into blocks and models some of them twice; however it cuts,
// the coded bytes must be those of the plain two-pass encoder.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <tuple>
#include <vector>

#include "entropy/block_plan.hpp"
#include "entropy/plane_encoder.hpp"

namespace tessarine::arans {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Model every decision, then code them all backwards, as simply as it can be written.
Bytes reference_plane(const Bytes& symbols, unsigned k) {
  if (symbols.empty()) return {};
  std::vector<std::uint16_t> table(std::size_t{256} << k, 2048);
  std::vector<std::uint32_t> freq, start;
  std::uint32_t previous = 0;
  for (std::uint8_t s : symbols) {
    std::uint32_t node = 1;
    for (int b = 7; b >= 0; --b) {
      const std::uint32_t bit = (s >> b) & 1u;
      std::uint16_t& p = table[((previous >> (8 - k)) << 8) | node];
      freq.push_back(bit ? 4096 - p : p);
      start.push_back(bit ? p : 0);
      std::uint32_t next = bit ? p - (p >> 4) : p + ((4096 - p) >> 4);
      p = static_cast<std::uint16_t>(std::clamp<std::uint32_t>(next, 1, 4095));
      node = 2 * node + bit;
    }
    previous = s;
  }
  Bytes out;
  std::uint32_t x = 65536;
  for (std::size_t i = freq.size(); i-- > 0;) {
    while (x >= freq[i] << 20) {
      out.push_back(static_cast<std::uint8_t>(x >> 8));
      out.push_back(static_cast<std::uint8_t>(x));
      x >>= 16;
    }
    x = (x / freq[i]) * 4096 + x % freq[i] + start[i];
  }
  for (int shift : {24, 16, 8, 0}) out.push_back(static_cast<std::uint8_t>(x >> shift));
  return Bytes(out.rbegin(), out.rend());
}

Bytes skewed_symbols(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::geometric_distribution<int> small(0.3);
  Bytes b(n);
  for (auto& s : b) s = static_cast<std::uint8_t>(rng() % 9 == 0 ? rng() : small(rng) * (rng() & 1 ? 1 : -1));
  return b;
}

// Tiny limits, so that short planes get many blocks, several kept buffers and a short first
// block.
constexpr BlockLimits kTiny{.max_record_bytes = 3 * 64 * 2 * kRecordBytesPerSymbol,
                            .min_block = 64,
                            .max_block = 64};
// Blocks of one symbol, two kept: nearly every block is modelled twice.
constexpr BlockLimits kSingles{.max_record_bytes = 0, .min_block = 1, .max_block = 1};

class BlockedEncoder : public ::testing::TestWithParam<std::tuple<std::size_t, unsigned>> {};

TEST_P(BlockedEncoder, OnePlaneMatchesTheReference) {
  const auto [n, k] = GetParam();
  const Bytes symbols = skewed_symbols(n, static_cast<unsigned>(n + k));
  for (const BlockLimits limits : {BlockLimits{}, kTiny, kSingles}) {
    PlaneEncoder<1> encoder(symbols, k, limits);
    if (limits.max_block == 1) {
      EXPECT_EQ(encoder.plan().count, n);
    }
    encoder.encode();
    const auto coded = encoder.coded(0);
    ASSERT_EQ(Bytes(coded.begin(), coded.end()), reference_plane(symbols, k))
        << "n=" << n << " k=" << k << " blocks=" << encoder.plan().count;
  }
}

TEST_P(BlockedEncoder, InterleavedPlanesMatchTheReference) {
  const auto [n, k] = GetParam();
  const Bytes pairs = skewed_symbols(2 * n, static_cast<unsigned>(7 * n + k));
  Bytes even, odd;
  for (std::size_t i = 0; i < n; ++i) {
    even.push_back(pairs[2 * i]);
    odd.push_back(pairs[2 * i + 1]);
  }
  for (const BlockLimits limits : {BlockLimits{}, kTiny, kSingles}) {
    PlaneEncoder<2> encoder(pairs, k, limits);
    encoder.encode();
    ASSERT_EQ(Bytes(encoder.coded(0).begin(), encoder.coded(0).end()), reference_plane(even, k));
    ASSERT_EQ(Bytes(encoder.coded(1).begin(), encoder.coded(1).end()), reference_plane(odd, k));
  }
}

// Lengths around block boundaries of kTiny's 64-symbol blocks.
INSTANTIATE_TEST_SUITE_P(Lengths, BlockedEncoder,
                         ::testing::Combine(::testing::Values(1, 63, 64, 65, 191, 192, 193, 1000,
                                                              4097),
                                            ::testing::Values(0u, 3u, 8u)));

TEST(BlockPlan, BlocksCoverThePlaneAndStayWithinTheRecordBudget) {
  const BlockLimits limits;
  for (const std::size_t symbols : {1u, 1000u, 1u << 20, (1u << 20) + 1, 5000000u, 268435456u}) {
    for (const std::size_t planes : {1u, 2u}) {
      const BlockPlan plan = plan_blocks(symbols, planes, 65536, limits);
      std::size_t total = 0;
      for (std::size_t j = 0; j < plan.count; ++j) {
        ASSERT_GE(plan.length(j), 1u);
        ASSERT_LE(plan.length(j), plan.block);
        ASSERT_EQ(plan.start(j), total);
        total += plan.length(j);
      }
      EXPECT_EQ(total, symbols);
      ASSERT_GE(plan.kept, 1u);
      ASSERT_LE(plan.kept, plan.count);
      const std::size_t record_bytes = plan.kept * plan.block * planes * kRecordBytesPerSymbol;
      if (plan.count == 1) {
        EXPECT_LE(record_bytes, limits.max_record_bytes);
      } else {
        EXPECT_LE(record_bytes, std::max(limits.max_record_bytes,
                                         2 * plan.block * planes * kRecordBytesPerSymbol));
        // Saved models take about as much as two blocks of records: both grow with the square
        // root of the plane.
        const std::size_t block_records = plan.block * planes * kRecordBytesPerSymbol;
        EXPECT_LE(plan.count * 65536 * 2 * planes, 2 * block_records + 65536 * 2 * planes);
      }
    }
  }
}

}  // namespace
}  // namespace tessarine::arans
