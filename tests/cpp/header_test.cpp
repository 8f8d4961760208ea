#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "codec/header.hpp"

namespace tessarine {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A valid 52-byte header image built by hand, independent of the writer under test.
Bytes valid_image() {
  Bytes b(kHeaderSize, 0);
  const std::uint8_t fixed[12] = {'T', 'S', 'R', 'N', 1, 1, 'f', '3', 'c', 'f', '9', '7'};
  std::memcpy(b.data(), fixed, sizeof fixed);
  b[12] = 3;   // levels
  b[13] = 11;  // scale
  b[14] = 1;   // coder
  b[16] = 0x10;
  b[17] = 0x27;  // sample_count 10000
  const float values[3] = {-2.5f, 4.0f, 0.125f};
  std::memcpy(&b[20], values, sizeof values);  // little-endian host
  b[32] = 0x2A;                                // payload_len 42
  return b;
}

void put_f32(Bytes& b, std::size_t at, float v) {
  std::memcpy(&b[at], &v, 4);
}

std::string parse_error(const Bytes& b) {
  const auto parsed = TessarineHeader::from_bytes(b);
  return parsed ? std::string("ok") : parsed.error().display();
}

TEST(HeaderParse, ReadsEveryField) {
  const auto h = TessarineHeader::from_bytes(valid_image());
  ASSERT_TRUE(h) << h.error().display();
  EXPECT_EQ(h->method, (MethodCode{'c', 'f', '9', '7'}));
  EXPECT_EQ(h->levels, 3);
  EXPECT_EQ(h->scale, 11);
  EXPECT_EQ(h->coder, 1);
  EXPECT_EQ(h->sample_count, 10000u);
  EXPECT_EQ(h->min, -2.5f);
  EXPECT_EQ(h->max, 4.0f);
  EXPECT_EQ(h->mean, 0.125f);
  EXPECT_EQ(h->payload_len, 42u);
}

TEST(HeaderParse, LengthLimits) {
  Bytes b = valid_image();
  b.pop_back();
  EXPECT_EQ(parse_error(b), "Header is invalid");
  EXPECT_EQ(parse_error({}), "Header is invalid");
  Bytes zero_payload = valid_image();
  zero_payload[32] = 0;
  EXPECT_EQ(parse_error(zero_payload), "ok");
  Bytes longer = valid_image();
  longer.resize(200, 0xEE);  // later bytes are not looked at
  EXPECT_EQ(parse_error(longer), "ok");
}

TEST(HeaderParse, EachCheckReportsItsMessage) {
  struct Case {
    std::size_t at;
    Bytes bytes;
    std::string message;
  };
  const Case cases[] = {
      {0, {'A', 'B', 'C', 'D'}, "Magic should be 'TSRN' but it was 'ABCD'"},
      {0, {0xFF, 0xFF, 0xFF, 0xFF}, "Magic should be 'TSRN' but it was '\?\?\?\?'"},
      {4, {2, 1}, std::string("Invalid header version '\x02\x01'")},
      {4, {0xFF, 1}, "Invalid header version '\?\?'"},
      {6, {'f', '4'}, "Invalid compression method 'f4'"},
      {8, {'c', 'f', '9', '9'}, "Invalid compression method 'cf99'"},
      {8, {'C', 'F', '9', '7'}, "Invalid compression method 'CF97'"},
      {13, {5}, "Only scaled 6..12 is supported, but it was 5"},
      {13, {13}, "Only scaled 6..12 is supported, but it was 13"},
      {13, {200}, "Only scaled 6..12 is supported, but it was 200"},
      {14, {2}, "Unknown entropy coder 2"},
      {14, {255}, "Unknown entropy coder 255"},
  };
  for (const Case& c : cases) {
    Bytes b = valid_image();
    std::copy(c.bytes.begin(), c.bytes.end(), b.begin() + c.at);
    EXPECT_EQ(parse_error(b), c.message) << "offset " << c.at;
  }
}

TEST(HeaderParse, NonFiniteNormalisationValuesAreInvalid) {
  constexpr float kInf = std::numeric_limits<float>::infinity();
  const float bad[] = {std::numeric_limits<float>::quiet_NaN(),
                       -std::numeric_limits<float>::quiet_NaN(), std::bit_cast<float>(0x7F800001u),
                       kInf, -kInf};
  for (const std::size_t at : {20u, 24u, 28u}) {
    for (const float v : bad) {
      Bytes b = valid_image();
      put_f32(b, at, v);
      EXPECT_EQ(parse_error(b), "Header is invalid") << at << " " << v;
    }
  }
}

TEST(HeaderParse, SignedZeroSubnormalAndExtremeFiniteValuesAreAccepted) {
  const float good[] = {-0.0f, std::numeric_limits<float>::denorm_min(),
                        -std::numeric_limits<float>::denorm_min(),
                        std::numeric_limits<float>::max(), std::numeric_limits<float>::lowest()};
  for (const std::size_t at : {20u, 24u, 28u}) {
    for (const float v : good) {
      Bytes b = valid_image();
      put_f32(b, at, v);
      const auto h = TessarineHeader::from_bytes(b);
      ASSERT_TRUE(h) << at << " " << v;
      const float read = at == 20 ? h->min : at == 24 ? h->max : h->mean;
      EXPECT_EQ(std::bit_cast<std::uint32_t>(read), std::bit_cast<std::uint32_t>(v));
    }
  }
}

TEST(HeaderParse, FirstFailingCheckWins) {
  // Break every field from the last check backwards; each step must expose the earlier one.
  Bytes b = valid_image();
  put_f32(b, 28, NAN);
  put_f32(b, 24, INFINITY);
  EXPECT_EQ(parse_error(b), "Header is invalid");
  b[14] = 9;
  EXPECT_EQ(parse_error(b), "Unknown entropy coder 9");
  b[13] = 1;
  EXPECT_EQ(parse_error(b), "Only scaled 6..12 is supported, but it was 1");
  b[8] = 'x';
  EXPECT_EQ(parse_error(b), "Invalid compression method 'xf97'");
  b[7] = '9';
  EXPECT_EQ(parse_error(b), "Invalid compression method 'f9'");
  b[4] = 0;
  EXPECT_EQ(parse_error(b), std::string("Invalid header version '\0\x01'", 27));
  b[0] = 'X';
  EXPECT_EQ(parse_error(b), "Magic should be 'TSRN' but it was 'XSRN'");
  b.resize(51);
  EXPECT_EQ(parse_error(b), "Header is invalid");
}

TEST(HeaderParse, UnvalidatedBytesAreKeptAsRead) {
  Bytes b = valid_image();
  b[5] = 7;
  b[12] = 0;  // levels is checked later by the decompressor, not here
  b[15] = 0xAB;
  for (std::size_t i = 36; i < 52; ++i) b[i] = static_cast<std::uint8_t>(i * 7);
  const auto h = TessarineHeader::from_bytes(b);
  ASSERT_TRUE(h) << h.error().display();
  EXPECT_EQ(h->version[1], 7);
  EXPECT_EQ(h->levels, 0);
  EXPECT_EQ(h->reserved_byte, 0xAB);
  const auto image = h->to_bytes();
  EXPECT_EQ(Bytes(image.begin(), image.end()), b);
}

TEST(HeaderWrite, RandomValidHeadersRoundTripBitForBit) {
  std::mt19937 rng(1234);
  auto byte = [&] { return static_cast<std::uint8_t>(rng()); };
  auto finite = [&] {
    std::uint32_t bits;
    do bits = rng();
    while ((bits & 0x7FFFFFFFu) >= 0x7F800000u);
    return std::bit_cast<float>(bits);
  };
  const MethodCode codes[] = {
      {'c', 'f', '5', '3'}, {'c', 'f', '9', '7'}, {'d', 'b', '0', '4'}, {'s', 'y', 'm', '4'}};
  for (int iteration = 0; iteration < 2000; ++iteration) {
    TessarineHeader h;
    h.version[1] = byte();
    h.method = codes[rng() % 4];
    h.levels = byte();
    h.scale = static_cast<std::uint8_t>(6 + rng() % 7);
    h.coder = static_cast<std::uint8_t>(rng() % 2);
    h.reserved_byte = byte();
    h.sample_count = rng();
    h.min = finite();
    h.max = finite();
    h.mean = finite();
    h.payload_len = rng();
    for (auto& r : h.reserved) r = byte();
    const auto image = h.to_bytes();
    const auto parsed = TessarineHeader::from_bytes(image);
    ASSERT_TRUE(parsed) << parsed.error().display();
    EXPECT_EQ(parsed->to_bytes(), image);
    EXPECT_EQ(parsed->sample_count, h.sample_count);
    EXPECT_EQ(parsed->payload_len, h.payload_len);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(parsed->min), std::bit_cast<std::uint32_t>(h.min));
    EXPECT_EQ(std::bit_cast<std::uint32_t>(parsed->mean), std::bit_cast<std::uint32_t>(h.mean));
    EXPECT_EQ(parsed->reserved, h.reserved);
  }
}

TEST(HeaderWrite, FieldsAreLittleEndianAtTheirOffsets) {
  TessarineHeader h;
  h.sample_count = 0x04030201u;
  h.payload_len = 0xA0B0C0D0u;
  h.max = 1.0f;  // 0x3F800000
  const auto image = h.to_bytes();
  EXPECT_EQ((Bytes(image.begin() + 16, image.begin() + 20)), (Bytes{1, 2, 3, 4}));
  EXPECT_EQ((Bytes(image.begin() + 24, image.begin() + 28)), (Bytes{0, 0, 0x80, 0x3F}));
  EXPECT_EQ((Bytes(image.begin() + 32, image.begin() + 36)), (Bytes{0xD0, 0xC0, 0xB0, 0xA0}));
}

}  // namespace
}  // namespace tessarine
