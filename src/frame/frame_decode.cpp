#include "frame/frame_decode.hpp"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "frame/block_coding.hpp"
#include "frame/parallel_for.hpp"
#include "predictive/bounded_stream.hpp"

namespace tessarine::frame {
namespace {

using predictive::PredictiveError;

DecodeFailure failure(const PredictiveError& error) { return {error, DecodeFailure::kNoBlock, 0}; }

// Decodes all of a block, or through a scratch copy the part of it the window holds.
PredictiveResult<void> decode_part(const FrameView& frame, const BlockSpan& block,
                                   std::uint64_t start, std::uint64_t stop,
                                   std::span<std::byte> out) {
  const std::size_t size = frame.header.type.size;
  const auto bytes = frame.body.subspan(block.offset, block.size);
  const std::uint64_t low = std::max(start, block.first);
  const std::uint64_t high = std::min(stop, block.first + block.samples);
  const auto target = out.subspan((low - start) * size, (high - low) * size);
  if (low == block.first && high == block.first + block.samples) {
    return decode_block(frame.header.type, block, bytes, target);
  }
  try {
    std::vector<std::byte> whole(block.samples * size);
    auto decoded = decode_block(frame.header.type, block, bytes, whole);
    if (!decoded) return decoded;
    std::memcpy(target.data(), whole.data() + (low - block.first) * size, target.size());
    return {};
  } catch (const std::bad_alloc&) {
    return std::unexpected(PredictiveError::out_of_memory());
  }
}

DecodeResult decode_blocks(const FrameView& frame, std::uint64_t start, std::uint64_t stop,
                           unsigned threads, std::span<std::byte> out) {
  const auto& blocks = frame.layout.blocks;
  const auto [first, last] = frame.layout.covering(start, stop);
  std::vector<PredictiveResult<void>> results;
  try {
    results.resize(last - first);
  } catch (const std::bad_alloc&) {
    return std::unexpected(failure(PredictiveError::out_of_memory()));
  }
  parallel_for(last - first, threads, [&](std::size_t i) {
    results[i] = decode_part(frame, blocks[first + i], start, stop, out);
  });
  for (std::size_t i = 0; i < results.size(); ++i) {
    if (!results[i]) return std::unexpected(DecodeFailure{results[i].error(), first + i, blocks.size()});
  }
  return {};
}

// A single-body frame has no blocks to skip: a window decodes it all and keeps its part.
PredictiveResult<void> decode_single(const FrameView& frame, std::uint64_t start,
                                     std::uint64_t stop, std::span<std::byte> out) {
  const std::size_t size = frame.header.type.size;
  if (frame.header.body == BodyKind::Verbatim) {
    if (!out.empty()) std::memcpy(out.data(), frame.body.data() + start * size, out.size());
    return {};
  }
  if (start == 0 && stop == frame.header.count) {
    return predictive::decode_stream(frame.body, frame.header.type, frame.header.count, out);
  }
  try {
    std::vector<std::byte> whole(frame.header.count * size);
    auto decoded = predictive::decode_stream(frame.body, frame.header.type, frame.header.count, whole);
    if (!decoded) return decoded;
    std::memcpy(out.data(), whole.data() + start * size, out.size());
    return {};
  } catch (const std::bad_alloc&) {
    return std::unexpected(PredictiveError::out_of_memory());
  }
}

}  // namespace

std::string DecodeFailure::display() const {
  std::string text = error.display();
  if (block != kNoBlock) text += " (block " + std::to_string(block) + " of " + std::to_string(blocks) + ")";
  return text;
}

DecodeResult decode_window(const FrameView& frame, std::uint64_t start, std::uint64_t stop,
                           unsigned threads, std::span<std::byte> out) {
  const FrameHeader& header = frame.header;
  if (start > stop || stop > header.count || out.size() != (stop - start) * header.type.size) {
    return std::unexpected(failure(PredictiveError::bad_argument("out does not match the frame's samples")));
  }
  if (start == stop) return {};
  if (header.body == BodyKind::Channels) {
    return std::unexpected(failure(PredictiveError::bad_argument("a multichannel frame decodes by its channels")));
  }
  if (header.body == BodyKind::Blocked) return decode_blocks(frame, start, stop, threads, out);
  auto decoded = decode_single(frame, start, stop, out);
  if (!decoded) return std::unexpected(failure(decoded.error()));
  return {};
}

DecodeResult decode_frame(const FrameView& frame, std::span<std::byte> out, unsigned threads) {
  return decode_window(frame, 0, frame.header.count, threads, out);
}

}  // namespace tessarine::frame
