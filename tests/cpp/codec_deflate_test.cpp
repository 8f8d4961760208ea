#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "codec/payload_decoder.hpp"
#include "codec/raw_deflate.hpp"
#include "entropy/arans.hpp"

namespace tessarine {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes text_bytes(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

Bytes mixed_data(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i % 97 < 50 ? 0 : rng());
  return b;
}

Bytes deflated(const Bytes& input) {
  auto out = deflate_raw(input);
  EXPECT_TRUE(out) << out.error().display();
  return out ? *out : Bytes{};
}

TEST(RawDeflate, RoundTripsAtEverySizeClass) {
  for (const std::size_t n : {0u, 1u, 2u, 100u, 65536u, 300001u}) {
    const Bytes input = mixed_data(n, static_cast<unsigned>(n));
    const Bytes coded = deflated(input);
    const auto back = inflate_raw(coded, input.size());
    ASSERT_TRUE(back) << back.error().display();
    EXPECT_EQ(*back, input) << n;
  }
}

TEST(RawDeflate, ReadsStreamsFromOtherEncoders) {
  // A stored block and a fixed-Huffman block, both final, written by other raw encoders.
  const Bytes stored{0x01, 0x05, 0x00, 0xFA, 0xFF, 'h', 'e', 'l', 'l', 'o'};
  const Bytes fixed{0x2b, 0x49, 0x2d, 0x2e, 0x4e, 0x2c, 0xca, 0xcc,
                    0x4b, 0x55, 0x28, 0xc1, 0x64, 0x01, 0x00};
  EXPECT_EQ(inflate_raw(stored, 100).value(), text_bytes("hello"));
  EXPECT_EQ(inflate_raw(fixed, 100).value(), text_bytes("tessarine tessarine tessarine"));
}

TEST(RawDeflate, OutputIsCappedAtTheRequestedSize) {
  const Bytes zeros(1 << 20, 0);
  const Bytes coded = deflated(zeros);
  ASSERT_LT(coded.size(), 2000u);  // a stream that inflates about 1000-fold
  for (const std::size_t cap : {0u, 1u, 10u, 65536u, 65537u, 500000u}) {
    const auto out = inflate_raw(coded, cap);
    ASSERT_TRUE(out);
    EXPECT_EQ(out->size(), cap);
  }
  EXPECT_EQ(inflate_raw(coded, std::size_t{1} << 40).value().size(), zeros.size());
}

TEST(RawDeflate, TruncatedTrailingAndCorruptStreams) {
  const Bytes input = mixed_data(5000, 3);
  const Bytes coded = deflated(input);
  // Cut short: the bytes decoded so far, a prefix of the input, and no error.
  const Bytes cut(coded.begin(), coded.begin() + static_cast<std::ptrdiff_t>(coded.size() / 2));
  const auto partial = inflate_raw(cut, input.size());
  ASSERT_TRUE(partial);
  EXPECT_LT(partial->size(), input.size());
  EXPECT_TRUE(std::equal(partial->begin(), partial->end(), input.begin()));
  // Bytes after the end of the stream are ignored.
  Bytes trailing = coded;
  trailing.insert(trailing.end(), {0xFF, 0x00, 0x13, 0x37});
  EXPECT_EQ(inflate_raw(trailing, input.size()).value(), input);
  EXPECT_EQ(inflate_raw({}, 100).value(), Bytes{});
  // Block type 3 does not exist.
  const auto bad = inflate_raw(Bytes{0x07, 0x00, 0x00}, 100);
  ASSERT_FALSE(bad);
  EXPECT_EQ(bad.error().display(), "Can't decompress data, reason: corrupt deflate stream");
}

TEST(PayloadDecoder, RefusesPayloadsWithTooFewCoefficients) {
  const Bytes coefficients = mixed_data(400, 9);
  struct Case {
    std::uint8_t coder;
    Bytes payload;
  };
  const Case cases[] = {{0, deflated(coefficients)}, {1, arans::encode_stream(coefficients)}};
  for (const Case& c : cases) {
    EXPECT_EQ(decode_payload(c.payload, c.coder, 400).value(), coefficients);
    // More coefficients than needed are fine; the extra ones are ignored later.
    EXPECT_TRUE(decode_payload(c.payload, c.coder, 398));
    const auto short_of = decode_payload(c.payload, c.coder, 402);
    ASSERT_FALSE(short_of);
    EXPECT_EQ(short_of.error().display(),
              "Can't decompress data, reason: Payload holds 200 coefficients but the header "
              "needs 201");
  }
}

TEST(PayloadDecoder, RansFramingErrorsKeepTheirText) {
  // Context bits 9 are invalid; a declared pair count of 2^28 + 1 is too large.
  const Bytes bad_context{0x00, 0x09, 0x03, 0x06, 0, 0, 0, 0};
  const Bytes too_many_pairs{0x00, 0x03, 0x81, 0x80, 0x80, 0x80, 0x01, 0x00};
  const Bytes cut_in_count{0x00, 0x03, 0x80, 0x80, 0x80, 0x80};
  for (const Bytes& b : {bad_context, too_many_pairs}) {
    EXPECT_EQ(decode_payload(b, 1, 6).error().display(),
              "Can't decompress data, reason: Inconsistent or oversized length in stream");
  }
  EXPECT_EQ(decode_payload(cut_in_count, 1, 6).error().display(),
            "Can't decompress data, reason: Stream truncated");
  // Streams under six bytes are raw: their bytes are the coefficients.
  EXPECT_EQ(decode_payload(Bytes{1, 2, 3, 4}, 1, 4).value(), (Bytes{1, 2, 3, 4}));
  EXPECT_FALSE(decode_payload(Bytes{1, 2, 3}, 1, 4));
}

}  // namespace
}  // namespace tessarine
