#include "frame/frame_format.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace tessarine::frame {
namespace {

FrameHeader verbatim_header(std::uint64_t count) {
  FrameHeader header;
  header.type = {'i', 2};
  header.count = count;
  header.bound.rel_error = 1e-3;
  header.body = BodyKind::Verbatim;
  header.largest_error = 0.25;
  return header;
}

TEST(FrameFormat, PackedHeaderParsesBackWithItsBody) {
  const std::vector<std::uint8_t> body = {1, 2, 3, 4, 5, 6};
  const auto packed = pack_frame(verbatim_header(3), body);
  ASSERT_TRUE(packed);
  ASSERT_EQ(packed->size(), kFrameHeaderSize + body.size());
  const auto frame = parse_frame(*packed);
  ASSERT_TRUE(frame) << frame.error().display();
  EXPECT_EQ(frame->header.type, (predictive::SampleType{'i', 2}));
  EXPECT_EQ(frame->header.count, 3u);
  EXPECT_TRUE(std::isnan(frame->header.bound.max_error));
  EXPECT_EQ(frame->header.bound.rel_error, 1e-3);
  EXPECT_EQ(frame->header.largest_error, 0.25);
  EXPECT_EQ(std::vector<std::uint8_t>(frame->body.begin(), frame->body.end()), body);
}

TEST(FrameFormat, EveryChangedByteOrCutIsRefused) {
  const std::vector<std::uint8_t> body(8, 7);
  const auto packed = *pack_frame(verbatim_header(4), body);
  for (std::size_t at = 0; at < packed.size(); ++at) {
    auto damaged = packed;
    damaged[at] ^= 0x20;
    EXPECT_FALSE(parse_frame(damaged)) << "byte " << at;
  }
  for (std::size_t size = 0; size < packed.size(); ++size) {
    EXPECT_FALSE(parse_frame(std::span(packed).first(size))) << "size " << size;
  }
}

TEST(FrameFormat, DeclaredCountsBeyondTheBodyAreRefusedBeforeAnyAllocation) {
  const std::vector<std::uint8_t> body(8, 0);
  for (std::uint64_t count : {std::uint64_t{3}, std::uint64_t{5}, std::uint64_t{1} << 62,
                              ~std::uint64_t{0}}) {
    EXPECT_FALSE(parse_frame(*pack_frame(verbatim_header(count), body))) << count;
  }
  FrameHeader predictive = verbatim_header(std::uint64_t{1} << 40);
  predictive.body = BodyKind::Predictive;
  EXPECT_FALSE(parse_frame(*pack_frame(predictive, body)));
}

}  // namespace
}  // namespace tessarine::frame
