#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "frame/block_coding.hpp"
#include "frame/blocked_body.hpp"
#include "frame/bounded_frame.hpp"
#include "frame/checksum.hpp"
#include "frame/frame_decode.hpp"
#include "frame/frame_format.hpp"

namespace tessarine::frame {
namespace {

using predictive::SampleView;

std::vector<float> walk(std::size_t count) {
  std::vector<float> samples(count);
  double value = 0.0;
  for (std::size_t i = 0; i < count; ++i) {
    value += std::sin(0.01 * static_cast<double>(i)) + 0.1 * std::cos(0.37 * static_cast<double>(i * i % 101));
    samples[i] = static_cast<float>(value);
  }
  return samples;
}

SampleView view_of(const std::vector<float>& samples) {
  return {reinterpret_cast<const std::byte*>(samples.data()), samples.size(), 4, {'f', 4}};
}

std::vector<float> decoded(const std::vector<std::uint8_t>& frame, std::uint64_t start,
                           std::uint64_t stop, unsigned threads = 1) {
  std::vector<float> out(stop - start);
  const auto parsed = parse_frame(frame, Verify::Layout);
  EXPECT_TRUE(parsed) << parsed.error().display();
  const auto result = decode_window(*parsed, start, stop, threads, std::as_writable_bytes(std::span(out)));
  EXPECT_TRUE(result) << result.error().display();
  return out;
}

Bound max_error(double value) {
  Bound bound;
  bound.max_error = value;
  return bound;
}

constexpr std::uint64_t kBlock = 1000;

TEST(FrameBlocks, ThreadsNeverChangeTheBytesAndEveryBlockKeepsTheBound) {
  const auto samples = walk(10 * kBlock + 17);
  const auto one = compress_bounded(view_of(samples), max_error(0.01), {kBlock, 1});
  ASSERT_TRUE(one);
  for (unsigned threads : {2u, 3u, 16u}) {
    EXPECT_EQ(*compress_bounded(view_of(samples), max_error(0.01), {kBlock, threads}), *one);
  }
  const auto parsed = parse_frame(*one);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->header.body, BodyKind::Blocked);
  EXPECT_EQ(parsed->layout.blocks.size(), 11u);
  const auto all = decoded(*one, 0, samples.size(), 2);
  for (std::size_t i = 0; i < samples.size(); ++i) ASSERT_LE(std::fabs(all[i] - samples[i]), 0.01) << i;
}

TEST(FrameBlocks, OneBlockIsTheSingleBodyFrame) {
  const auto samples = walk(kBlock);
  const auto blocked = compress_bounded(view_of(samples), max_error(0.01), {kBlock, 1});
  const auto single = compress_bounded(view_of(samples), max_error(0.01), {kBlock * 4, 1});
  ASSERT_TRUE(blocked && single);
  EXPECT_EQ(*blocked, *single);
  EXPECT_NE(parse_frame(*blocked)->header.body, BodyKind::Blocked);
}

TEST(FrameBlocks, AnyWindowEqualsTheSameSliceOfTheWhole) {
  const auto samples = walk(5 * kBlock + 3);
  const auto frame = *compress_bounded(view_of(samples), max_error(0.05), {kBlock, 1});
  const auto all = decoded(frame, 0, samples.size());
  const std::uint64_t edges[][2] = {{0, 1}, {999, 1001}, {1000, 2000}, {1500, 4999}, {5000, 5003}, {0, 5003}, {7, 7}};
  for (const auto& edge : edges) {
    const auto window = decoded(frame, edge[0], edge[1], 2);
    EXPECT_EQ(window, std::vector<float>(all.begin() + edge[0], all.begin() + edge[1])) << edge[0];
  }
}

TEST(FrameBlocks, ADamagedBlockFailsOnlyTheWindowsThatNeedIt) {
  const auto samples = walk(4 * kBlock);
  auto frame = *compress_bounded(view_of(samples), max_error(0.01), {kBlock, 1});
  const auto layout = parse_frame(frame)->layout;
  frame[kFrameHeaderSize + layout.blocks[2].offset + 3] ^= 0x10;
  EXPECT_FALSE(parse_frame(frame));  // the frame's own checksum
  const auto parsed = parse_frame(frame, Verify::Layout);
  ASSERT_TRUE(parsed);
  std::vector<float> out(kBlock);
  const auto target = std::as_writable_bytes(std::span(out));
  EXPECT_TRUE(decode_window(*parsed, 0, kBlock, 1, target));
  EXPECT_TRUE(decode_window(*parsed, 3 * kBlock, 4 * kBlock, 1, target));
  const auto failed = decode_window(*parsed, 2 * kBlock + 10, 3 * kBlock + 10, 1, target);
  ASSERT_FALSE(failed);
  EXPECT_EQ(failed.error().block, 2u);
  EXPECT_NE(failed.error().display().find("block 2 of 4"), std::string::npos);
}

TEST(FrameBlocks, EveryChangedIndexOrHeaderByteIsRefusedWithoutReadingBlocks) {
  const auto samples = walk(3 * kBlock);
  const auto frame = *compress_bounded(view_of(samples), max_error(0.01), {kBlock, 1});
  const std::size_t tail = 3 * kIndexEntrySize + kTrailerSize;
  for (std::size_t at = 9; at < frame.size(); at += (at < kFrameHeaderSize || at >= frame.size() - tail) ? 1 : 97) {
    auto damaged = frame;
    damaged[at] ^= 0x04;
    const bool in_block = at >= kFrameHeaderSize && at < frame.size() - tail;
    EXPECT_EQ(static_cast<bool>(parse_frame(damaged, Verify::Layout)), in_block) << "byte " << at;
  }
  for (std::size_t size = 0; size < frame.size(); size += 211) {
    EXPECT_FALSE(parse_frame(std::span(frame).first(size), Verify::Layout)) << "size " << size;
  }
}

TEST(FrameBlocks, AWriterAssemblingBlocksInPiecesGetsTheSameFrame) {
  const auto samples = walk(3 * kBlock + 5);
  const auto whole = *compress_bounded(view_of(samples), max_error(0.02), {kBlock, 1});
  const auto blocks = *encode_blocks(view_of(samples), 0.02, kBlock, 2);
  std::vector<BlockSpan> spans;
  std::vector<std::uint8_t> written;
  std::uint32_t crc = 0;
  for (const auto& block : blocks) {
    spans.push_back(span_of(block));
    crc = crc32_of(block.bytes, crc);
    written.insert(written.end(), block.bytes.begin(), block.bytes.end());
  }
  const FrameHeader header{{'f', 4}, samples.size(), max_error(0.02), BodyKind::Blocked, 0.0};
  const auto ends = *finish_blocked(header, kBlock, spans, crc, written.size());
  std::vector<std::uint8_t> frame = ends.header;
  frame.insert(frame.end(), written.begin(), written.end());
  frame.insert(frame.end(), ends.tail.begin(), ends.tail.end());
  EXPECT_EQ(frame, whole);
}

TEST(FrameBlocks, ImpossibleIndexesAreRefusedBeforeAllocating) {
  const auto samples = walk(2 * kBlock);
  const auto frame = *compress_bounded(view_of(samples), max_error(0.01), {kBlock, 1});
  std::vector<std::uint8_t> trailer(frame.end() - kTrailerSize, frame.end());
  for (std::uint64_t count : {std::uint64_t{0}, ~std::uint64_t{0}, std::uint64_t{1} << 60}) {
    std::memcpy(trailer.data() + 8, &count, 8);
    EXPECT_FALSE(block_tail_size(trailer)) << count;
  }
}

TEST(FrameBlocks, CodesOnACoarseGridUnderASmallerBoundComeBackExactAndNoLarger) {
  // 11-bit codes in a 16-bit word: every sample a multiple of 32.
  std::vector<std::int16_t> codes(5000);
  for (std::size_t i = 0; i < codes.size(); ++i) {
    codes[i] = static_cast<std::int16_t>(32 * std::lround(300 * std::sin(0.01 * static_cast<double>(i)) + (i * 7919 % 13)));
  }
  const SampleView view{reinterpret_cast<const std::byte*>(codes.data()), codes.size(), 2, {'i', 2}};
  const auto exact = *compress_bounded(view, max_error(0.4), {kBlock, 1});
  for (double bound : {1.0, 5.0, 31.0}) {
    const auto coded = *compress_bounded(view, max_error(bound), {kBlock, 1});
    EXPECT_EQ(coded.size(), exact.size()) << bound;
    EXPECT_EQ(parse_frame(coded)->header.largest_error, 0.0) << bound;
  }
  EXPECT_GT(parse_frame(*compress_bounded(view, max_error(40.0), {kBlock, 1}))->header.largest_error, 0.0);
}

}  // namespace
}  // namespace tessarine::frame
