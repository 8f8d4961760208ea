#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string_view>
#include <vector>

#include "entropy/arans.hpp"

namespace tessarine::arans {
namespace {

using Bytes = std::vector<std::uint8_t>;

const auto kTruncated = std::unexpected(AransError::truncated());
const auto kInvalidLength = std::unexpected(AransError::invalid_length());

Bytes text_bytes(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

// Little-endian int16 values, mostly small: the shape of quantised wavelet details.
Bytes coefficient_bytes(std::mt19937& rng, std::size_t n) {
  std::geometric_distribution<int> magnitude(0.3);
  Bytes out(n);
  for (std::size_t i = 0; i < n; i += 2) {
    const auto value = static_cast<std::uint16_t>(magnitude(rng) * (rng() & 1 ? -1 : 1));
    out[i] = static_cast<std::uint8_t>(value);
    if (i + 1 < n) out[i + 1] = static_cast<std::uint8_t>(value >> 8);
  }
  return out;
}

Bytes concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(AransLeb128, ReadsValuesAndAdvances) {
  struct Case {
    Bytes bytes;
    std::size_t start;
    std::uint64_t value;
    std::size_t end;
  };
  const Case cases[] = {
      {{0x00}, 0, 0, 1},
      {{0x7F}, 0, 127, 1},
      {{0x80, 0x01}, 0, 128, 2},
      {{0x80, 0x00}, 0, 0, 2},  // longer than needed, accepted
      {{0xAA, 0xE5, 0x8E, 0x26, 0x99}, 1, 624485, 4},
      {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01}, 0, UINT64_MAX, 10},
      // In a tenth byte only bit 0 counts (it is bit 63 of the value).
      {{0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x7F}, 0, 1ull << 63, 10},
      {{0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x7E}, 0, 0, 10},
  };
  for (const Case& c : cases) {
    std::size_t position = c.start;
    EXPECT_EQ(rv(c.bytes, position), c.value);
    EXPECT_EQ(position, c.end);
  }
}

TEST(AransLeb128, RejectsCutAndOverlongValues) {
  const Bytes nine_continued(9, 0x80);
  struct Case {
    Bytes bytes;
    std::size_t start;
    std::unexpected<AransError> error;
  };
  const Case cases[] = {
      {{}, 0, kTruncated},
      {{0x05}, 1, kTruncated},
      {{0x80}, 0, kTruncated},
      {nine_continued, 0, kTruncated},
      {concat(nine_continued, {0x80}), 0, kInvalidLength},
      {concat(nine_continued, {0x81, 0x00}), 0, kInvalidLength},
  };
  for (const Case& c : cases) {
    std::size_t position = c.start;
    EXPECT_EQ(rv(c.bytes, position), c.error);
  }
}

TEST(AransStream, KnownStreams) {
  struct Case {
    Bytes input;
    Bytes stream;
  };
  const Case cases[] = {
      {text_bytes("abcdef"),
       {0x00, 0x03, 0x03, 0x06, 0xe6, 0x34, 0xcc, 0x00, 0x00, 0x31, 0x01, 0x37, 0xba, 0x00, 0x80,
        0x37}},
      {{0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0xff},
       {0x01, 0x03, 0x03, 0x06, 0xa9, 0x05, 0x64, 0x00, 0xc0, 0x6a, 0xf4, 0x07, 0x3c, 0x00, 0x70,
        0xa0, 0xff}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(encode_stream(c.input), c.stream);
    EXPECT_EQ(decode_stream(c.stream), c.input);
  }
}

TEST(AransStream, HeaderFields) {
  std::mt19937 rng(41);
  struct Case {
    std::size_t n;
    std::uint8_t context_bits;
    Bytes pair_count;
  };
  const Case cases[] = {
      {6, 3, {0x03}},           {256, 3, {0x80, 0x01}},   {257, 3, {0x80, 0x01}},
      {16383, 3, {0xFF, 0x3F}}, {16384, 8, {0x80, 0x40}}, {300001, 8, {0xF0, 0x93, 0x09}},
  };
  for (const Case& c : cases) {
    const Bytes input = coefficient_bytes(rng, c.n);
    const Bytes stream = encode_stream(input);
    ASSERT_GE(stream.size(), 12u);
    EXPECT_EQ(stream[0], c.n & 1);
    EXPECT_EQ(stream[1], c.context_bits);
    EXPECT_EQ(Bytes(stream.begin() + 2, stream.begin() + 2 + c.pair_count.size()), c.pair_count);
    if (c.n & 1) {
      EXPECT_EQ(stream.back(), input.back());
    }
  }
}

TEST(AransStream, ShortInputsAreStoredRaw) {
  for (std::size_t n = 0; n <= 5; ++n) {
    const Bytes input = text_bytes(std::string_view("\xFF\x00\x03zq", n));
    EXPECT_EQ(encode_stream(input), input);
    EXPECT_EQ(decode_stream(input), input);
  }
}

TEST(AransStream, RoundTripsEveryLength) {
  std::mt19937 rng(42);
  std::vector<std::size_t> lengths;
  for (std::size_t n = 0; n <= 300; ++n) lengths.push_back(n);
  for (std::size_t n : {16383u, 16384u, 16385u, 1u << 20, (1u << 20) + 1}) lengths.push_back(n);
  for (std::size_t n : lengths) {
    const Bytes input = coefficient_bytes(rng, n);
    EXPECT_EQ(decode_stream(encode_stream(input)), input) << n;
  }
}

TEST(AransStream, OnlyBitZeroOfTheOddFlagCounts) {
  const Bytes even = encode_stream(text_bytes("abcdefgh"));
  const Bytes odd = encode_stream(text_bytes("abcdefghi"));
  for (std::uint8_t flag : {0x02, 0x80, 0xFE}) {
    Bytes s = even;
    s[0] = flag;
    EXPECT_EQ(decode_stream(s), text_bytes("abcdefgh")) << int{flag};
    s = odd;
    s[0] = flag | 1;
    EXPECT_EQ(decode_stream(s), text_bytes("abcdefghi")) << int{flag};
  }
}

TEST(AransStream, BytesAppendedToAnEvenStreamAreIgnored) {
  std::mt19937 rng(43);
  const Bytes input = coefficient_bytes(rng, 5000);
  EXPECT_EQ(decode_stream(concat(encode_stream(input), {0x00, 0x00, 0x00})), input);
}

TEST(AransStream, MalformedHeadersAreRejected) {
  // pair_count 2^28 + 1 and 2^28, then low_plane_size 0.
  const Bytes pairs_over = {0x00, 0x03, 0x81, 0x80, 0x80, 0x80, 0x01, 0x00};
  const Bytes pairs_at_limit = {0x00, 0x03, 0x80, 0x80, 0x80, 0x80, 0x01, 0x00};
  // low_plane_size 2^64 - 1 overflows the header position; 2^63 only runs past the end.
  const Bytes size_overflows = {0x00, 0x03, 0x03, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0x00, 0x00};
  const Bytes size_too_long = {0x00, 0x03, 0x03, 0x80, 0x80, 0x80, 0x80, 0x80,
                               0x80, 0x80, 0x80, 0x80, 0x01, 0x00, 0x00};
  struct Case {
    const char* what;
    Bytes stream;
    std::unexpected<AransError> error;
  };
  const Case cases[] = {
      {"context bits 9", {0x00, 0x09, 0x03, 0x00, 0x00, 0x00}, kInvalidLength},
      {"context bits 255", {0x00, 0xFF, 0x03, 0x00, 0x00, 0x00}, kInvalidLength},
      {"cut inside pair_count", {0x00, 0x03, 0x80, 0x80, 0x80, 0x80}, kTruncated},
      {"cut inside low_plane_size", {0x00, 0x03, 0x03, 0x80, 0x80, 0x80}, kTruncated},
      {"tenth pair_count byte continued", concat({0x00, 0x03}, Bytes(10, 0x80)), kInvalidLength},
      {"pair_count above 2^28", pairs_over, kInvalidLength},
      // Passes the limit, then has no plane bytes for its symbols.
      {"pair_count of 2^28", pairs_at_limit, kTruncated},
      {"low_plane_size overflows", size_overflows, kInvalidLength},
      {"low_plane_size past the end", size_too_long, kTruncated},
      // With the odd flag the last byte is not plane data.
      {"low plane needs the trailing byte", {0x01, 0x03, 0x00, 0x03, 0x00, 0x00, 0x00}, kTruncated},
  };
  for (const Case& c : cases) EXPECT_EQ(decode_stream(c.stream), c.error) << c.what;
}

TEST(AransStream, CutStreamsFailOrStayRaw) {
  std::mt19937 rng(44);
  const Bytes input = coefficient_bytes(rng, 2000);
  const Bytes stream = encode_stream(input);
  std::size_t position = 2;
  ASSERT_EQ(rv(stream, position), 1000u);
  const auto low_size = rv(stream, position);
  ASSERT_TRUE(low_size.has_value());
  const std::size_t low_end = position + *low_size;
  for (std::size_t cut = 0; cut < stream.size(); ++cut) {
    const Bytes prefix(stream.begin(), stream.begin() + cut);
    if (cut < 6) {
      EXPECT_EQ(decode_stream(prefix), prefix);  // too short to be coded: raw
    } else if (cut + 1 < stream.size()) {
      // Every plane word is needed, so any cut is noticed; only the high plane's last
      // byte pair can be half there, and that is noticed too.
      EXPECT_EQ(decode_stream(prefix), kTruncated)
          << cut << " (low plane ends at " << low_end << ")";
    }
  }
  EXPECT_EQ(decode_stream(Bytes(stream.begin(), stream.end() - 1)), kTruncated);
}

TEST(AransStream, DamagedStreamsDecodeLikeTheirPlanes) {
  // Framing around two independently decoded planes: flip one bit anywhere in a valid
  // stream and the result must be what decoding the framed planes one by one gives.
  std::mt19937 rng(45);
  for (int trial = 0; trial < 300; ++trial) {
    const Bytes input = coefficient_bytes(rng, 40 + trial * 13);
    Bytes stream = encode_stream(input);
    stream[4 + rng() % (stream.size() - 4)] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
    std::size_t position = 2;
    const std::uint64_t pairs = *rv(stream, position);
    const std::uint64_t low_size = *rv(stream, position);
    const std::size_t odd = stream[0] & 1;
    const auto result = decode_stream(stream);
    if (position + low_size > stream.size() - odd) {
      EXPECT_EQ(result, kTruncated);
      continue;
    }
    const std::span<const std::uint8_t> all(stream);
    const auto low = decode_plane(all.subspan(position, low_size), pairs, stream[1]);
    const auto high =
        decode_plane(all.subspan(position + low_size, stream.size() - odd - position - low_size),
                     pairs, stream[1]);
    if (!low || !high) {
      EXPECT_EQ(result, kTruncated) << trial;
      continue;
    }
    ASSERT_TRUE(result.has_value()) << trial;
    for (std::size_t i = 0; i < pairs; ++i) {
      ASSERT_EQ((*result)[2 * i], (*low)[i]);
      ASSERT_EQ((*result)[2 * i + 1], (*high)[i]);
    }
  }
}

}  // namespace
}  // namespace tessarine::arans
