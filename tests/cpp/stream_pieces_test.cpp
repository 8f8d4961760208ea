#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "frame/block_coding.hpp"
#include "frame/bounded_frame.hpp"
#include "frame/checksum.hpp"
#include "frame/frame_decode.hpp"
#include "frame/frame_format.hpp"
#include "predictive/bounded_stream.hpp"

namespace tessarine::frame {
namespace {

using predictive::kStreamChunk;
using predictive::SampleView;

// Several chunks and a short last one, so that pieces start and end inside chunks.
const std::size_t kCount = 5 * kStreamChunk + 1234;

std::vector<float> wave(std::size_t count) {
  std::vector<float> samples(count);
  for (std::size_t i = 0; i < count; ++i) {
    const double t = static_cast<double>(i);
    samples[i] = static_cast<float>(std::sin(0.003 * t) * 100 +
                                    std::cos(0.41 * t) * (i % 977 == 0 ? 50 : 1));
  }
  return samples;
}

SampleView view_of(const std::vector<float>& samples) {
  return {reinterpret_cast<const std::byte*>(samples.data()), samples.size(), 4, {'f', 4}};
}

std::vector<std::uint8_t> frame_of(const std::vector<float>& samples, std::uint64_t block_samples) {
  Bound bound;
  bound.max_error = 0.01;
  return *compress_bounded(view_of(samples), bound, {block_samples, 1});
}

std::vector<std::uint8_t> single_body_frame(const std::vector<float>& samples) {
  return frame_of(samples, std::uint64_t{1} << 24);
}

DecodeResult decode_into(const std::vector<std::uint8_t>& frame, std::uint64_t start,
                         std::uint64_t stop, unsigned threads, std::vector<float>& out) {
  out.assign(stop - start, 0.0f);
  const auto parsed = parse_frame(frame, Verify::Layout);
  EXPECT_TRUE(parsed);
  return decode_window(*parsed, start, stop, threads, std::as_writable_bytes(std::span(out)));
}

TEST(StreamPieces, AnyRunOfChunksDecodesToItsSliceOfTheWholeStream) {
  const auto samples = wave(kCount);
  const auto stream = predictive::encode_stream(view_of(samples), 0.01);
  ASSERT_TRUE(stream);
  std::vector<float> whole(kCount);
  ASSERT_TRUE(predictive::decode_stream(stream->bytes, {'f', 4}, kCount,
                                        std::as_writable_bytes(std::span(whole))));
  const auto starts = predictive::find_chunks(stream->bytes, {'f', 4}, kCount);
  ASSERT_TRUE(starts);
  ASSERT_EQ(starts->size(), 7u);
  EXPECT_EQ(starts->back(), stream->bytes.size());
  for (std::size_t first = 0; first < 6; ++first) {
    for (std::size_t last = first + 1; last <= 6; ++last) {
      const std::size_t low = first * kStreamChunk;
      std::vector<float> part(std::min(kCount, last * kStreamChunk) - low);
      ASSERT_TRUE(predictive::decode_stream_chunks(stream->bytes, {'f', 4}, kCount, *starts, first,
                                                   last, std::as_writable_bytes(std::span(part))));
      EXPECT_TRUE(
          std::equal(part.begin(), part.end(), whole.begin() + static_cast<std::ptrdiff_t>(low)));
    }
  }
  auto longer = stream->bytes;
  longer.push_back(0);
  EXPECT_FALSE(predictive::find_chunks(longer, {'f', 4}, kCount));
  EXPECT_FALSE(
      predictive::find_chunks(std::span(stream->bytes).first(starts->at(3) + 5), {'f', 4}, kCount));
  std::vector<float> one(kStreamChunk);
  EXPECT_FALSE(predictive::decode_stream_chunks(stream->bytes, {'f', 4}, kCount, *starts, 0, 2,
                                                std::as_writable_bytes(std::span(one))));
}

TEST(StreamPieces, ThreadsAndWindowsGiveTheSameSamplesInOneBodyOrInBlocksOfSeveralChunks) {
  const auto samples = wave(kCount);
  for (const auto& frame :
       {single_body_frame(samples), frame_of(samples, 2 * kStreamChunk + 500)}) {
    std::vector<float> whole, part;
    ASSERT_TRUE(decode_into(frame, 0, kCount, 1, whole));
    const std::uint64_t edges[][2] = {{0, kCount},
                                      {1, kCount - 1},
                                      {kStreamChunk - 3, 3 * kStreamChunk + 9},
                                      {4 * kStreamChunk, 5 * kStreamChunk},
                                      {kCount - 2, kCount},
                                      {70000, 70001}};
    for (const auto& edge : edges) {
      for (unsigned threads : {1u, 2u, 3u}) {
        ASSERT_TRUE(decode_into(frame, edge[0], edge[1], threads, part));
        EXPECT_TRUE(std::equal(part.begin(), part.end(),
                               whole.begin() + static_cast<std::ptrdiff_t>(edge[0])))
            << edge[0] << " " << threads;
      }
    }
  }
}

TEST(StreamPieces, ADamagedChunkGivesTheSequentialErrorAndSparesWindowsBeforeIt) {
  const auto samples = wave(kCount);
  auto frame = single_body_frame(samples);
  const auto body_start = parse_frame(frame)->body.data() - frame.data();
  const auto starts = *predictive::find_chunks(parse_frame(frame)->body, {'f', 4}, kCount);
  for (std::size_t at = starts[2] + 40; at < starts[2] + 60; ++at) frame[body_start + at] ^= 0xA5;
  set_frame_crc(frame, crc32_of(std::span(frame).subspan(kCrcEnd)));
  std::vector<float> out;
  const auto one = decode_into(frame, 0, kCount, 1, out);
  const auto two = decode_into(frame, 0, kCount, 2, out);
  ASSERT_FALSE(one);
  ASSERT_FALSE(two);
  EXPECT_EQ(one.error().display(), two.error().display());
  std::vector<float> sequential(kCount);
  const auto expected = predictive::decode_stream(parse_frame(frame)->body, {'f', 4}, kCount,
                                                  std::as_writable_bytes(std::span(sequential)));
  ASSERT_FALSE(expected);
  EXPECT_EQ(one.error().display(), expected.error().display());
  EXPECT_TRUE(decode_into(frame, 10, 2 * kStreamChunk, 2, out));
}

TEST(StreamPieces, PartOfOneBlockEqualsItsSliceAndStillChecksTheBlock) {
  const auto samples = wave(kCount);
  auto frame = frame_of(samples, 2 * kStreamChunk + 500);
  const auto parsed = *parse_frame(frame);
  const BlockSpan& block = parsed.layout.blocks[1];
  const auto bytes = parsed.body.subspan(block.offset, block.size);
  std::vector<float> whole(block.samples), part;
  ASSERT_TRUE(
      decode_block(parsed.header.type, block, bytes, std::as_writable_bytes(std::span(whole))));
  const std::uint64_t edges[][2] = {
      {0, 1}, {5, kStreamChunk + 7}, {kStreamChunk, 2 * kStreamChunk}, {9, 9}, {0, block.samples}};
  for (const auto& edge : edges) {
    part.assign(edge[1] - edge[0], 0.0f);
    ASSERT_TRUE(decode_block_part(parsed.header.type, block, bytes, edge[0], edge[1],
                                  std::as_writable_bytes(std::span(part))));
    EXPECT_TRUE(
        std::equal(part.begin(), part.end(), whole.begin() + static_cast<std::ptrdiff_t>(edge[0])));
  }
  std::vector<std::uint8_t> damaged(bytes.begin(), bytes.end());
  damaged.back() ^= 1;
  part.assign(3, 0.0f);
  const auto refused = decode_block_part(parsed.header.type, block, damaged, 0, 3,
                                         std::as_writable_bytes(std::span(part)));
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().display(), "frame is damaged: a block fails its checksum");
}

}  // namespace
}  // namespace tessarine::frame
