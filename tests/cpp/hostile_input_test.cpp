// Inputs no encoder of ours writes: containers and streams that claim more than they hold,
// break their framing, or carry ranges that overflow. Each must fail with the error of the
// first step that notices, without costing memory its bytes have not earned.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "codec/compressor.hpp"
#include "codec/decompressor.hpp"
#include "codec/header.hpp"
#include "entropy/arans.hpp"
#include "entropy/plane_decoder.hpp"

namespace tessarine {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes container(std::size_t n, Coder coder) {
  std::vector<float> x(n);
  for (std::size_t i = 0; i < n; ++i) x[i] = std::sin(0.02f * static_cast<float>(i)) * 3.0f;
  return compress(x, {.coder = coder}).value();
}

void put_u32(Bytes& c, std::size_t at, std::uint32_t v) {
  for (int k = 0; k < 4; ++k) c[at + k] = static_cast<std::uint8_t>(v >> (8 * k));
}

void put_f32(Bytes& c, std::size_t at, float v) {
  put_u32(c, at, std::bit_cast<std::uint32_t>(v));
}

Bytes with_payload(Bytes c, const Bytes& payload) {
  c.resize(kHeaderSize);
  put_u32(c, 32, static_cast<std::uint32_t>(payload.size()));
  c.insert(c.end(), payload.begin(), payload.end());
  return c;
}

std::string error_of(const Bytes& c) {
  const auto out = decompress(c);
  return out ? "ok" : out.error().display();
}

// Peak resident memory, in KiB, of a child process that runs `work`.
long child_peak_kib(const std::function<void()>& work) {
  const pid_t pid = fork();
  if (pid == 0) {
    work();
    _exit(0);
  }
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status)) return -1;
  return usage.ru_maxrss;
}

TEST(PlaneCapacity, HoldsForTheMostCompressiblePlanes) {
  // Constant planes settle every probability at its limit: the cheapest symbols there are.
  for (const std::uint8_t value : {std::uint8_t{0x00}, std::uint8_t{0xFF}}) {
    for (const std::size_t n : {1u, 100u, 10000u, 1000000u}) {
      const Bytes coded = arans::encode_plane(Bytes(n, value), 8);
      EXPECT_LE(n, arans::max_plane_symbols(coded.size())) << n;
      // Asking for more than the bound must fail as a plane that runs out of words.
      EXPECT_EQ(arans::decode_plane(coded, arans::max_plane_symbols(coded.size()) + 1, 8),
                std::unexpected(arans::AransError::truncated()));
    }
  }
}

TEST(StreamPrefix, KeepsOnlyWhatIsAskedButChecksEverything) {
  std::mt19937 rng(18);
  Bytes input(20001);
  for (auto& b : input) b = static_cast<std::uint8_t>(rng() % 7);
  const Bytes stream = arans::encode_stream(input);
  EXPECT_EQ(arans::decoded_stream_size(stream), input.size());
  for (const std::uint64_t keep : {0ull, 1ull, 2ull, 9999ull, 20000ull, 20001ull, 1ull << 40}) {
    const auto kept = arans::decode_stream(stream, keep);
    ASSERT_TRUE(kept) << keep;
    const std::size_t expect = std::min<std::uint64_t>(keep, input.size());
    EXPECT_EQ(*kept, Bytes(input.begin(), input.begin() + expect)) << keep;
  }
  // A cut high plane is reported even when the kept prefix is whole.
  const Bytes cut(stream.begin(), stream.end() - 3);
  EXPECT_EQ(arans::decode_stream(cut, 2), std::unexpected(arans::AransError::truncated()));
  const Bytes raw{1, 2, 3};
  EXPECT_EQ(arans::decode_stream(raw, 2), (Bytes{1, 2}));
  EXPECT_EQ(arans::decoded_stream_size(raw), 3u);
}

TEST(StreamFraming, ClaimsBeyondThePlanesFailBeforeAllocating) {
  // pair_count 2^28 over planes of a few bytes: the declared size no longer sizes anything.
  const Bytes claiming{0x00, 0x08, 0x80, 0x80, 0x80, 0x80, 0x01, 0x06, 1,  2,
                       3,    4,    5,    6,    7,    8,    9,    10,   11, 12};
  EXPECT_EQ(arans::decoded_stream_size(claiming), std::unexpected(arans::AransError::truncated()));
  EXPECT_EQ(arans::decode_stream(claiming), std::unexpected(arans::AransError::truncated()));
}

// The stream decoder's own errors come before the payload is compared with the layout.
TEST(DecompressOrder, StreamErrorsComeBeforeTheLayoutCheck) {
  const Bytes deflated = container(1000, Coder::Deflate);
  Bytes flipped = deflated;
  flipped[14] = 1;  // a DEFLATE payload read as a rANS stream
  const Bytes payload(deflated.begin() + kHeaderSize, deflated.end());
  const auto as_stream = arans::decode_stream(payload);
  ASSERT_FALSE(as_stream);
  EXPECT_EQ(error_of(flipped), "Can't decompress data, reason: " + as_stream.error().display());

  const Bytes rans = container(1000, Coder::Arans);
  // Too few pairs for the layout, and a context byte above 8.
  Bytes bad_context{0x00, 0x09, 0x03, 0x06, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(error_of(with_payload(rans, bad_context)),
            "Can't decompress data, reason: Inconsistent or oversized length in stream");
  // Too few pairs for the layout, and a high plane cut short.
  Bytes coefficients(600);
  for (std::size_t i = 0; i < coefficients.size(); ++i) coefficients[i] = i % 2 ? 0 : i % 7;
  const Bytes short_stream = arans::encode_stream(coefficients);
  const Bytes cut(short_stream.begin(), short_stream.end() - 2);
  EXPECT_EQ(error_of(with_payload(rans, cut)), "Can't decompress data, reason: Stream truncated");
  // A whole stream that is merely too short still gives the layout's message.
  EXPECT_EQ(error_of(with_payload(rans, short_stream))
                .rfind("Can't decompress data, reason: Payload holds 300 coefficients", 0),
            0u);
}

TEST(HeaderRange, OverflowingRangesAreInvalid) {
  constexpr float kMax = std::numeric_limits<float>::max();
  struct Case {
    float min, max;
    bool valid;
  };
  const Case cases[] = {{-3.4e38f, 3.4e38f, false}, {-kMax, kMax, false}, {-2e38f, 2e38f, false},
                        {-1.7e38f, 1.7e38f, true},  {kMax, -kMax, false}, {0.0f, kMax, true},
                        {-kMax, 0.0f, true},        {5.0f, -5.0f, true}};
  for (const Coder coder : {Coder::Deflate, Coder::Arans}) {
    for (const Case& c : cases) {
      Bytes b = container(100, coder);
      put_f32(b, 20, c.min);
      put_f32(b, 24, c.max);
      const auto header = TessarineHeader::from_bytes(b);
      EXPECT_EQ(header.has_value(), c.valid) << c.min << " " << c.max;
      if (!c.valid) {
        EXPECT_EQ(error_of(b), "Header is invalid");
      } else {
        const auto samples = decompress(b);
        ASSERT_TRUE(samples);
        for (const float v : *samples) ASSERT_TRUE(std::isfinite(v)) << c.max;
      }
    }
  }
}

TEST(HostileMemory, ClaimsCostNoMoreThanALegitimateDecode) {
  const Bytes legit = container(1000, Coder::Arans);
  const long baseline = child_peak_kib([&] { (void)decompress(legit); });
  ASSERT_GT(baseline, 0);
  // 68 bytes: pair_count 2^28 over planes of a few bytes, under the real header and under
  // one whose layout asks for 2^31 - 1 samples over ten levels.
  const Bytes claiming{0x00, 0x08, 0x80, 0x80, 0x80, 0x80, 0x01, 0x04, 1, 2, 3, 4, 5, 6, 7, 8};
  Bytes huge_layout = with_payload(legit, claiming);
  put_u32(huge_layout, 16, 2147483647u);
  huge_layout[12] = 10;
  // The real stream's planes under a pair_count of 2^28: they run dry long before.
  const std::span<const std::uint8_t> stream(legit.begin() + kHeaderSize, legit.end());
  std::size_t position = 2;
  ASSERT_TRUE(arans::rv(stream, position));
  Bytes inflated{stream[0], stream[1], 0x80, 0x80, 0x80, 0x80, 0x01};
  inflated.insert(inflated.end(), stream.begin() + position, stream.end());
  for (const Bytes& hostile :
       {with_payload(legit, claiming), huge_layout, with_payload(legit, inflated)}) {
    ASSERT_NE(error_of(hostile), "ok");
    const long peak = child_peak_kib([&] { (void)decompress(hostile); });
    EXPECT_LE(peak, baseline + 4096) << hostile.size() << " bytes";
  }
}

}  // namespace
}  // namespace tessarine
