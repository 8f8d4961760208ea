#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <span>
#include <vector>

#include "predictive/segmented_lpc.hpp"

namespace tessarine::predictive {
namespace {

struct Chunk {
  std::vector<std::uint64_t> codes;
  LpcFilter filter;
  std::int64_t level = 0;
  SampleType type{'i', 2};
  std::uint16_t origin = 0;
  std::uint16_t spacing = 1;
};

// v taken to a value of an 8- or 16-bit type.
std::int64_t canonical(std::uint64_t v, SampleType type) {
  if (type.size == 1)
    return type.kind == 'i' ? static_cast<std::int8_t>(v) : static_cast<std::int64_t>(v & 0xFF);
  return type.kind == 'i' ? static_cast<std::int16_t>(v) : static_cast<std::int64_t>(v & 0xFFFF);
}

// The segmented predictor as the format defines it, in 64-bit arithmetic, one sample at a time.
std::vector<std::uint8_t> reference(const Chunk& c) {
  const std::size_t n = c.codes.size();
  const std::size_t length = lpc_segment_length(n);
  const std::int64_t half = c.filter.shift == 0 ? 0 : std::int64_t{1} << (c.filter.shift - 1);
  std::vector<std::uint8_t> out(n * c.type.size);
  for (std::size_t begin = 0; begin < n; begin += length) {
    LpcHistory h;
    h.fill(c.level);
    for (std::size_t i = begin; i < std::min(n, begin + length); ++i) {
      std::int64_t sum = half;
      for (std::size_t j = 0; j < kLpcOrder; ++j) sum += c.filter.coefficients[j] * h.v[j];
      const std::uint64_t r = (c.codes[i] >> 1) ^ (0 - (c.codes[i] & 1));
      const std::int64_t v =
          canonical(static_cast<std::uint64_t>(sum >> c.filter.shift) + r, c.type);
      const auto sample =
          static_cast<std::uint16_t>(c.origin + static_cast<std::uint64_t>(v) * c.spacing);
      std::memcpy(out.data() + i * c.type.size, &sample, c.type.size);  // the low bytes
      h.push(v);
    }
  }
  return out;
}

// Decodes side by side; when the decoder vouches for its samples, they are the reference's.
bool vouched_and_exact(const Chunk& c) {
  std::vector<std::uint8_t> out(c.codes.size() * c.type.size);
  const bool vouched = decode_segments_small(c.codes, c.filter, c.level, c.type, c.origin,
                                             c.spacing, reinterpret_cast<std::byte*>(out.data()));
  if (vouched)
    EXPECT_EQ(out, reference(c)) << "n " << c.codes.size() << ", " << c.type.kind
                                 << int{c.type.size};
  return vouched;
}

// A resonance's residual codes (small), or any codes at all, with a random filter: light (its
// weights sum below 2^16, so no 16-bit history can take a sum past 32 bits) or heavy.
Chunk random_chunk(std::mt19937_64& rng, std::size_t n, bool heavy, bool small_codes,
                   SampleType type = {'i', 2}) {
  Chunk c;
  c.type = type;
  c.filter.shift = rng() % 16;
  for (auto& coefficient : c.filter.coefficients) {
    coefficient =
        static_cast<std::int16_t>(heavy ? rng() : static_cast<std::int16_t>(rng() % 16001) - 8000);
  }
  c.level = canonical(rng(), type);
  c.origin = static_cast<std::uint16_t>(rng());
  c.spacing = static_cast<std::uint16_t>(rng() % 3 == 0 ? 1 + rng() % 64 : 1);
  c.codes.resize(n);
  for (auto& code : c.codes) code = small_codes ? rng() % 64 : rng();
  return c;
}

TEST(SegmentedLpc, SideBySideGivesTheReferenceSamplesAtEveryLength) {
  std::mt19937_64 rng(41);
  for (std::size_t n : {1, 2, 3, 4, 5, 7, 8, 9, 12, 13, 17, 31, 1023, 4097, 13964, 65536}) {
    for (int trial = 0; trial < 4; ++trial) {
      // Light filters never need the exact loop on signed or 8-bit values, whatever the codes.
      for (SampleType type : {SampleType{'i', 2}, SampleType{'i', 1}, SampleType{'u', 1}}) {
        EXPECT_TRUE(vouched_and_exact(random_chunk(rng, n, false, trial % 2 == 0, type)))
            << "n " << n;
        (void)vouched_and_exact(random_chunk(rng, n, true, trial % 2 == 0, type));
      }
    }
  }
}

TEST(SegmentedLpc, HandsOverWhenSumsOrValuesMayNotFit) {
  std::mt19937_64 rng(43);
  // Full-scale weights on full-scale values: some lane's sum leaves 32 bits.
  Chunk heavy = random_chunk(rng, 4096, true, false);
  heavy.filter.coefficients.fill(32767);
  heavy.filter.shift = 0;
  EXPECT_FALSE(vouched_and_exact(heavy));
  // Unsigned 16-bit values of 2^15 and more do not fit the history's sign; nor does such a level;
  // nor does any wider type.
  Chunk wide = random_chunk(rng, 4096, false, false, {'u', 2});
  EXPECT_FALSE(vouched_and_exact(wide));
  Chunk high_level = random_chunk(rng, 4096, false, true, {'u', 2});
  high_level.level = 40000;
  EXPECT_FALSE(vouched_and_exact(high_level));
  Chunk wider = random_chunk(rng, 4096, false, true, {'i', 4});
  wider.level = 0;
  EXPECT_FALSE(vouched_and_exact(wider));
  // Small unsigned values (a grid's indices: half the last one plus 0..31) stay side by side.
  Chunk indices = random_chunk(rng, 4096, false, true, {'u', 2});
  indices.level = 1000;
  indices.filter.coefficients = {16384, 0, 0, 0, 0, 0, 0, 0};
  indices.filter.shift = 15;
  for (auto& code : indices.codes) code = 2 * (rng() % 32);
  EXPECT_TRUE(vouched_and_exact(indices));
}

}  // namespace
}  // namespace tessarine::predictive
