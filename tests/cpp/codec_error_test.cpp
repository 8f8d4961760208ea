#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "codec/error.hpp"
#include "codec/options.hpp"
#include "codec/utf8.hpp"

namespace tessarine {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(CodecErrorDisplay, EveryKindRendersItsText) {
  struct Case {
    TessarineError error;
    std::string text;
  };
  const Case cases[] = {
      {TessarineError::invalid_method({'c', 'f', '9', '9'}), "Invalid compression method 'cf99'"},
      {TessarineError::invalid_magic({'T', 'S', 'R', 'X'}),
       "Magic should be 'TSRN' but it was 'TSRX'"},
      {TessarineError::invalid_magic({0x80, 0x80, 0x80, 0x80}),
       "Magic should be 'TSRN' but it was '\?\?\?\?'"},
      {TessarineError::invalid_magic({0xFF, 0xFF, 0xFF, 0xFF}),
       "Magic should be 'TSRN' but it was '\?\?\?\?'"},
      {TessarineError::invalid_format_tag({'f', '4'}), "Invalid compression method 'f4'"},
      {TessarineError::invalid_format_tag({0xFF, 0x33}), "Invalid compression method '\?\?'"},
      {TessarineError::invalid_version({0x02, 0x01}),
       std::string("Invalid header version '\x02\x01'")},
      {TessarineError::invalid_version({0x00, 0x00}),
       std::string("Invalid header version '\0\0'", 27)},
      {TessarineError::transform("Input length 3 is shorter than 4"),
       "Input length 3 is shorter than 4"},
      {TessarineError::io("stream error"), "stream error"},
      {TessarineError::out_of_memory(12), "Out of memory, can't allocate additional 12"},
      {TessarineError::invalid_header(), "Header is invalid"},
      {TessarineError::unsupported_configuration("Can't compress empty data"),
       "Unsupported compression configuration 'Can't compress empty data'"},
      {TessarineError::decompression("Max supported level is 10 but it was 11"),
       "Can't decompress data, reason: Max supported level is 10 but it was 11"},
      {TessarineError::unsupported_scale(5), "Only scaled 6..12 is supported, but it was 5"},
      {TessarineError::unsupported_scale(200), "Only scaled 6..12 is supported, but it was 200"},
      {TessarineError::unknown_coder(2), "Unknown entropy coder 2"},
      {TessarineError::unknown_coder(255), "Unknown entropy coder 255"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.error.display(), c.text);
}

TEST(CodecErrorDisplay, MultiByteCharactersShowVerbatim) {
  // "é" is C3 A9; two of them fill the four-byte payload.
  EXPECT_EQ(TessarineError::invalid_magic({0xC3, 0xA9, 0xC3, 0xA9}).display(),
            "Magic should be 'TSRN' but it was '\xC3\xA9\xC3\xA9'");
  // A lead byte whose sequence is cut off by the payload's end is not text.
  EXPECT_EQ(TessarineError::invalid_magic({'a', 'b', 'c', 0xC3}).display(),
            "Magic should be 'TSRN' but it was '\?\?\?\?'");
}

TEST(Utf8Validator, AcceptsAndRejects) {
  struct Case {
    Bytes bytes;
    bool valid;
  };
  const Case cases[] = {
      {{}, true},
      {{'T', 'S', 'R', 'N'}, true},
      {{0x00, 0x01, 0x7F}, true},
      {{0xC2, 0x80}, true},               // U+0080, smallest two-byte form
      {{0xDF, 0xBF}, true},               // U+07FF
      {{0xE0, 0xA0, 0x80}, true},         // U+0800
      {{0xED, 0x9F, 0xBF}, true},         // U+D7FF, just below the surrogates
      {{0xEE, 0x80, 0x80}, true},         // U+E000, just above them
      {{0xF0, 0x90, 0x80, 0x80}, true},   // U+10000
      {{0xF4, 0x8F, 0xBF, 0xBF}, true},   // U+10FFFF
      {{0x80}, false},                    // stray continuation
      {{0xC0, 0x80}, false},              // overlong NUL
      {{0xC1, 0xBF}, false},              // overlong
      {{0xE0, 0x9F, 0xBF}, false},        // overlong three-byte
      {{0xF0, 0x8F, 0xBF, 0xBF}, false},  // overlong four-byte
      {{0xED, 0xA0, 0x80}, false},        // U+D800
      {{0xED, 0xBF, 0xBF}, false},        // U+DFFF
      {{0xF4, 0x90, 0x80, 0x80}, false},  // U+110000
      {{0xF5, 0x80, 0x80, 0x80}, false},  // lead byte beyond the range
      {{0xFF}, false},
      {{0xC3}, false},              // truncated two-byte
      {{0xE2, 0x82}, false},        // truncated three-byte
      {{0xF0, 0x9F, 0x98}, false},  // truncated four-byte
      {{0xE2, 'a', 0xAC}, false},   // non-continuation inside a sequence
      {{0xF0, 0x9F, 0x98, 'x'}, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(is_valid_utf8(c.bytes), c.valid) << ::testing::PrintToString(c.bytes);
  }
}

TEST(Utf8Validator, AgreesWithCodePointDecodingForAllTwoByteInputs) {
  // Reference: a two-byte input is valid iff it is two ASCII bytes or one two-byte sequence
  // encoding U+0080..U+07FF.
  for (unsigned a = 0; a < 256; ++a) {
    for (unsigned b = 0; b < 256; ++b) {
      const bool ascii = a < 0x80 && b < 0x80;
      const unsigned cp = ((a & 0x1F) << 6) | (b & 0x3F);
      const bool two = (a & 0xE0) == 0xC0 && (b & 0xC0) == 0x80 && cp >= 0x80;
      const Bytes bytes{static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b)};
      ASSERT_EQ(is_valid_utf8(bytes), ascii || two) << a << " " << b;
    }
  }
}

TEST(OptionNames, TablesRoundTripAndRejectNearMisses) {
  for (const Method m : {Method::Cdf53, Method::Cdf97, Method::Db4, Method::Sym4}) {
    EXPECT_EQ(method_from_name(method_name(m)), m);
    EXPECT_EQ(method_from_code(method_code(m)), m);
  }
  for (const Cutoff c : {Cutoff::Low, Cutoff::Medium, Cutoff::High}) {
    EXPECT_EQ(cutoff_from_name(cutoff_name(c)), c);
  }
  for (const Coder c : {Coder::Deflate, Coder::Arans, Coder::Auto}) {
    EXPECT_EQ(coder_from_name(coder_name(c)), c);
  }
  EXPECT_EQ(method_code(Method::Db4), (MethodCode{'d', 'b', '0', '4'}));
  EXPECT_EQ(method_from_name("db4"), Method::Db4);
  EXPECT_EQ(coder_from_name("auto"), Coder::Auto);
  for (const char* bad : {"CDF97", "cdf97 ", "", "db04", "cf97", "sym"}) {
    EXPECT_FALSE(method_from_name(bad)) << bad;
  }
  EXPECT_FALSE(cutoff_from_name("Low"));
  EXPECT_FALSE(coder_from_name("none"));
  EXPECT_FALSE(method_from_code({'c', 'f', '9', '9'}));
  EXPECT_EQ(method_name(static_cast<Method>(9)), "");
  EXPECT_EQ(coder_name(static_cast<Coder>(3)), "");
}

}  // namespace
}  // namespace tessarine
