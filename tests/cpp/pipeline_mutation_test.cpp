#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "codec/compressor.hpp"
#include "codec/decompressor.hpp"
#include "codec/header.hpp"

namespace tessarine {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::vector<Bytes> seed_containers() {
  std::vector<Bytes> seeds;
  for (const Method method : {Method::Cdf53, Method::Cdf97, Method::Db4, Method::Sym4}) {
    for (const Coder coder : {Coder::Deflate, Coder::Arans}) {
      for (const std::size_t n : {3u, 70u, 700u}) {
        std::vector<float> x(n);
        for (std::size_t i = 0; i < n; ++i) x[i] = std::sin(0.1f * static_cast<float>(i)) * 9.0f;
        seeds.push_back(compress(x, {.method = method, .coder = coder}).value());
      }
    }
  }
  return seeds;
}

class Mutator {
 public:
  explicit Mutator(unsigned seed) : rng_(seed) {}

  Bytes mutate(Bytes c) {
    switch (below(6)) {
      case 0:
        flip_bits(c);
        break;
      case 1:
        c.resize(below(c.size() + 1));
        break;
      case 2:
        extend(c);
        break;
      case 3:
        set_header_field(c);
        break;
      case 4:
        flip_bits(c);
        c.resize(below(c.size() + 1));
        break;
      default:
        set_header_field(c);
        flip_bits(c);
        break;
    }
    return c;
  }

 private:
  std::size_t below(std::size_t n) { return n == 0 ? 0 : rng_() % n; }

  void flip_bits(Bytes& c) {
    if (c.empty()) return;
    // Mostly the payload and the counts; the header's fixed fields only lead to early errors.
    for (std::size_t k = 0, flips = 1 + below(4); k < flips; ++k) {
      c[below(c.size())] ^= static_cast<std::uint8_t>(1u << below(8));
    }
  }

  void extend(Bytes& c) {
    for (std::size_t k = 0, extra = 1 + below(64); k < extra; ++k) {
      c.push_back(static_cast<std::uint8_t>(rng_()));
    }
    if (c.size() >= kHeaderSize && below(2) == 0)
      put_u32(c, 32, static_cast<std::uint32_t>(c.size() - kHeaderSize));
  }

  void set_header_field(Bytes& c) {
    if (c.size() < kHeaderSize) return;
    static constexpr std::uint32_t kCounts[] = {0,  1,  2,   5,   9,   10,   11,       69,
                                                70, 71, 699, 700, 701, 5000, 1u << 20, 2147483647u};
    switch (below(5)) {
      case 0:
        c[12] = static_cast<std::uint8_t>(below(12));
        break;  // levels
      case 1:
        put_u32(c, 16, kCounts[below(std::size(kCounts))]);
        break;  // sample_count
      case 2:
        put_u32(c, 32, static_cast<std::uint32_t>(below(c.size())));
        break;  // payload_len
      case 3:
        c[14] ^= 1;
        break;    // other coder
      default: {  // other method
        static constexpr const char* kCodes[] = {"cf53", "cf97", "db04", "sym4"};
        const char* code = kCodes[below(4)];
        for (int k = 0; k < 4; ++k) c[8 + k] = static_cast<std::uint8_t>(code[k]);
      }
    }
  }

  static void put_u32(Bytes& c, std::size_t at, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) c[at + k] = static_cast<std::uint8_t>(v >> (8 * k));
  }

  std::mt19937 rng_;
};

std::uint32_t sample_count_of(const Bytes& c) {
  return static_cast<std::uint32_t>(c[16] | c[17] << 8 | c[18] << 16) |
         static_cast<std::uint32_t>(c[19]) << 24;
}

TEST(PipelineMutation, DamagedContainersGiveAnErrorOrExactlySampleCountSamples) {
  const std::vector<Bytes> seeds = seed_containers();
  Mutator mutator(2024);
  std::size_t decoded = 0;
  std::size_t refused = 0;
  for (int iteration = 0; iteration < 30000; ++iteration) {
    const Bytes& seed = seeds[static_cast<std::size_t>(iteration) % seeds.size()];
    const Bytes c = mutator.mutate(seed);
    const auto out = decompress(c);
    if (!out) {
      ++refused;
      EXPECT_FALSE(out.error().display().empty());
      continue;
    }
    ++decoded;
    ASSERT_GE(c.size(), kHeaderSize);
    ASSERT_EQ(out->size(), sample_count_of(c)) << "iteration " << iteration;
  }
  // Both outcomes must actually occur, or the mutations are not exercising the decoder.
  EXPECT_GT(decoded, 1000u);
  EXPECT_GT(refused, 1000u);
}

}  // namespace
}  // namespace tessarine
