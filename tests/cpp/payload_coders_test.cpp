#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "codec/options.hpp"
#include "codec/payload_coders.hpp"
#include "codec/payload_decoder.hpp"

namespace tessarine {
namespace {

// Codes are stored by the Python package, the C API and HDF5 filter settings; header bytes in
// every container. Neither may move when a coder is added.
TEST(PayloadCoders, CodesAndHeaderBytesAreFixedAndUnique) {
  EXPECT_EQ(coder_names(), (std::vector<std::string_view>{"deflate", "arans", "auto"}));
  EXPECT_EQ(method_names(), (std::vector<std::string_view>{"cdf53", "cdf97", "db4", "sym4"}));
  EXPECT_EQ(cutoff_names(), (std::vector<std::string_view>{"low", "medium", "high"}));
  EXPECT_EQ(coder_for_option(Coder::Deflate)->header_byte, 0);
  EXPECT_EQ(coder_for_option(Coder::Arans)->header_byte, 1);
  EXPECT_EQ(coder_for_option(Coder::Auto), coder_for_option(kAutoCoder));
  EXPECT_EQ(coder_for_option(static_cast<Coder>(7)), nullptr);
  std::set<std::uint8_t> bytes;
  std::set<Coder> coders;
  for (const PayloadCoder& entry : kPayloadCoders) {
    EXPECT_TRUE(bytes.insert(entry.header_byte).second) << entry.name;
    EXPECT_TRUE(coders.insert(entry.coder).second) << entry.name;
    EXPECT_NE(entry.coder, Coder::Auto);
    EXPECT_EQ(coder_for_header_byte(entry.header_byte), &entry);
  }
}

TEST(PayloadCoders, EachDecodesItsOwnOutputAndStopsAtTheLimit) {
  std::vector<std::uint8_t> input(3001);
  for (std::size_t i = 0; i < input.size(); ++i) input[i] = static_cast<std::uint8_t>(i * i % 251);
  for (const PayloadCoder& entry : kPayloadCoders) {
    const auto encoded = entry.encode(input);
    ASSERT_TRUE(encoded) << entry.name;
    EXPECT_EQ(entry.decode(*encoded, input.size()).value(), input) << entry.name;
    const auto head = entry.decode(*encoded, 100).value();
    EXPECT_LE(head.size(), input.size()) << entry.name;
    EXPECT_TRUE(std::equal(head.begin(), head.end(), input.begin())) << entry.name;
  }
}

TEST(PayloadCoders, AByteNoCoderHasIsRefused) {
  const std::vector<std::uint8_t> payload{1, 2, 3};
  for (const std::uint8_t byte : {2, 255}) {
    EXPECT_EQ(coder_for_header_byte(byte), nullptr);
    EXPECT_EQ(decode_payload(payload, byte, 2).error().display(),
              "Unknown entropy coder " + std::to_string(byte));
  }
}

}  // namespace
}  // namespace tessarine
