#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "codec/compressor.hpp"
#include "codec/decompressor.hpp"
#include "codec/header.hpp"
#include "codec/raw_deflate.hpp"
#include "codec/transform.hpp"

namespace tessarine {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr Method kMethods[] = {Method::Cdf53, Method::Cdf97, Method::Db4, Method::Sym4};

std::vector<float> wave(std::size_t n) {
  std::vector<float> x(n);
  for (std::size_t i = 0; i < n; ++i) x[i] = 10.0f * std::sin(0.05f * static_cast<float>(i)) + 2.0f;
  return x;
}

Bytes container(std::size_t n, CompressionOptions options = {}) {
  return compress(wave(n), options).value();
}

std::string error_of(const Bytes& c) {
  const auto out = decompress(c);
  return out ? "ok, " + std::to_string(out->size()) + " samples" : out.error().display();
}

void put_u32(Bytes& c, std::size_t at, std::uint32_t v) {
  for (int k = 0; k < 4; ++k) c[at + k] = static_cast<std::uint8_t>(v >> (8 * k));
}

Bytes with_payload(Bytes c, const Bytes& payload) {
  c.resize(kHeaderSize);
  put_u32(c, 32, static_cast<std::uint32_t>(payload.size()));
  c.insert(c.end(), payload.begin(), payload.end());
  return c;
}

TEST(Decompress, HeaderErrorsPassThroughUnchanged) {
  EXPECT_EQ(error_of({}), "Header is invalid");
  Bytes c = container(100);
  c[13] = 5;
  EXPECT_EQ(error_of(c), "Only scaled 6..12 is supported, but it was 5");
}

TEST(Decompress, CountLimits) {
  struct Case {
    std::size_t at;
    std::uint32_t value;
    std::string message;
  };
  const Case cases[] = {
      {12, 11, "Can't decompress data, reason: Max supported level is 10 but it was 11"},
      {12, 255, "Can't decompress data, reason: Max supported level is 10 but it was 255"},
      {12, 0, "Can't decompress data, reason: Min supported level is 1 but it was 0"},
      {16, 2147483648u,
       "Can't decompress data, reason: Can't decompress data bigger than 2147483647, but data "
       "was 2147483648"},
      {16, 4294967295u,
       "Can't decompress data, reason: Can't decompress data bigger than 2147483647, but data "
       "was 4294967295"},
  };
  for (const Case& c : cases) {
    Bytes b = container(200);
    if (c.at == 12) {
      b[12] = static_cast<std::uint8_t>(c.value);
    } else {
      put_u32(b, c.at, c.value);
    }
    EXPECT_EQ(error_of(b), c.message);
  }
  // The sample count is checked before the levels.
  Bytes both = container(200);
  both[12] = 0;
  put_u32(both, 16, 2147483648u);
  EXPECT_NE(error_of(both).find("bigger than"), std::string::npos);
}

TEST(Decompress, PayloadBoundsAndTrailingBytes) {
  for (const Coder coder : {Coder::Deflate, Coder::Arans}) {
    const Bytes c = container(500, {.coder = coder});
    const auto expected = decompress(c).value();
    ASSERT_EQ(expected.size(), 500u);
    Bytes longer = c;
    longer.insert(longer.end(), {0xDE, 0xAD, 0xBE, 0xEF, 0x00});
    EXPECT_EQ(decompress(longer).value(), expected);
    const Bytes cut(c.begin(), c.end() - 1);
    EXPECT_EQ(error_of(cut), "Can't decompress data, reason: Minimum data size is " +
                                 std::to_string(c.size()) + ", but it was " +
                                 std::to_string(c.size() - 1));
  }
}

TEST(Decompress, DeflateGarbageAfterTheStreamIsIgnored) {
  const Bytes c = container(700, {.coder = Coder::Deflate});
  Bytes payload(c.begin() + kHeaderSize, c.end());
  payload.insert(payload.end(), 300, 0xA5);
  EXPECT_EQ(decompress(with_payload(c, payload)).value(), decompress(c).value());
}

TEST(Decompress, PayloadTooSmallForTheLayoutIsRefused) {
  for (const Coder coder : {Coder::Deflate, Coder::Arans}) {
    Bytes c = container(1000, {.coder = coder});
    put_u32(c, 16, 1200);  // more samples than the payload holds coefficients for
    const std::string e = error_of(c);
    EXPECT_EQ(e.rfind("Can't decompress data, reason: Payload holds ", 0), 0u) << e;
    EXPECT_NE(e.find("coefficients but the header needs"), std::string::npos) << e;
    // Fewer samples than stored: surplus coefficients are ignored and the count is honoured.
    put_u32(c, 16, 900);
    EXPECT_EQ(decompress(c).value().size(), 900u);
  }
}

TEST(Decompress, HugeClaimsFromTinyContainersFailWithoutAllocating) {
  // 60-byte containers that claim 2^31 - 1 samples over ten levels.
  const Bytes deflate_payload = deflate_raw(Bytes(8, 0)).value();
  const Bytes rans_raw{0, 0, 0, 0, 0, 0, 0, 0};
  // A coded rANS stream claiming the most pairs a stream may declare.
  const Bytes rans_claiming{0x00, 0x08, 0x80, 0x80, 0x80, 0x80, 0x01, 0x00};
  for (const Bytes* payload : {&deflate_payload, &rans_raw, &rans_claiming}) {
    Bytes c = with_payload(
        container(100, {.coder = payload == &deflate_payload ? Coder::Deflate : Coder::Arans}),
        *payload);
    put_u32(c, 16, 2147483647u);
    c[12] = 10;
    const std::string e = error_of(c);
    if (payload == &rans_claiming) {
      // Its planes are empty: the stream decoder's own error comes first.
      EXPECT_EQ(e, "Can't decompress data, reason: Stream truncated");
    } else {
      EXPECT_EQ(e.rfind("Can't decompress data, reason: Payload holds ", 0), 0u) << e;
    }
  }
}

TEST(Decompress, FlatSignalDecodesToMin) {
  // A constant signal, and one whose range is too small for its reciprocal to be a float.
  for (const float step : {0.0f, std::numeric_limits<float>::denorm_min()}) {
    for (const Method method : kMethods) {
      std::vector<float> x(300, 0.0f);
      for (std::size_t i = 0; i < x.size(); i += 3) x[i] += step;
      const auto out = decompress(compress(x, {.method = method}).value()).value();
      ASSERT_EQ(out.size(), x.size());
      for (const float v : out) ASSERT_EQ(v, 0.0f);
    }
  }
  std::vector<float> constant(300, -4.5f);
  const auto out = decompress(compress(constant, {}).value()).value();
  for (const float v : out) ASSERT_EQ(v, -4.5f);
}

TEST(Decompress, ShortSignalsKeepTheirLengthAndValues) {
  for (const Method method : kMethods) {
    const std::size_t f = make_transform(method)->filter_length();
    for (std::size_t n = 1; n < f; ++n) {
      std::vector<float> x(n);
      for (std::size_t i = 0; i < n; ++i) x[i] = static_cast<float>((i * 37) % 11) - 3.0f;
      const auto out = decompress(compress(x, {.method = method}).value());
      ASSERT_TRUE(out) << out.error().display();
      ASSERT_EQ(out->size(), n);
      for (std::size_t i = 0; i < n; ++i) EXPECT_NEAR((*out)[i], x[i], 0.05f) << n << " " << i;
    }
  }
}

}  // namespace
}  // namespace tessarine
