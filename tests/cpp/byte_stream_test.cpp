#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "codec/byte_stream.hpp"

namespace tessarine {
namespace {

TEST(ByteStream, RoundTripsEveryFormAndKeepsTheStreamsTexts) {
  for (const std::size_t size : {0u, 5u, 6u, 7u, 5000u}) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i % 7 * 31);
    EXPECT_EQ(decode_byte_stream(encode_byte_stream(bytes).value()).value(), bytes) << size;
  }
  // The text is the stream's own; display() would add the container's prefix.
  const std::vector<std::uint8_t> damaged(7, 0xFF);
  EXPECT_EQ(decode_byte_stream(damaged).error().text(),
            "Inconsistent or oversized length in stream");
}

TEST(ByteStream, RefusesMoreThanAStreamDescribes) {
  // A reserved, never-touched mapping stands in for the huge input: the size is checked first.
  const std::size_t too_many = max_byte_stream_input() + 1;
  void* region =
      mmap(nullptr, too_many, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  ASSERT_NE(region, MAP_FAILED);
  const auto refused =
      encode_byte_stream(std::span(static_cast<const std::uint8_t*>(region), too_many));
  munmap(region, too_many);
  EXPECT_EQ(refused.error().text(), "Can't encode more than " +
                                        std::to_string(max_byte_stream_input()) +
                                        " bytes, but data was " + std::to_string(too_many));
}

}  // namespace
}  // namespace tessarine
