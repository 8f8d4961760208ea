#include "frame/blocked_body.hpp"

#include <algorithm>
#include <new>

#include "frame/block_index.hpp"
#include "frame/checksum.hpp"
#include "frame/frame_format.hpp"

namespace tessarine::frame {

using predictive::PredictiveError;

BlockSpan span_of(const EncodedBlock& block) {
  BlockSpan span;
  span.size = block.bytes.size();
  span.kind = block.kind;
  span.largest_error = block.largest_error;
  span.crc = crc32_of(block.bytes);
  return span;
}

PredictiveResult<BlockedEnds> finish_blocked(FrameHeader header, std::uint64_t block_samples,
                                             std::span<const BlockSpan> blocks,
                                             std::uint32_t blocks_crc, std::uint64_t blocks_size) {
  header.body = BodyKind::Blocked;
  header.largest_error = 0.0;
  for (const BlockSpan& block : blocks) {
    header.largest_error = std::max(header.largest_error, block.largest_error);
  }
  auto head = pack_header(header);
  if (!head) return std::unexpected(head.error());
  auto tail = pack_block_tail(*head, block_samples, blocks);
  if (!tail) return std::unexpected(tail.error());
  // In the order the bytes lie: header fields, blocks, tail.
  std::uint32_t crc = crc32_of(std::span(*head).subspan(kCrcEnd));
  crc = crc32_joined(crc, blocks_crc, blocks_size);
  crc = crc32_joined(crc, crc32_of(*tail), tail->size());
  set_frame_crc(*head, crc);
  return BlockedEnds{std::move(*head), std::move(*tail)};
}

PredictiveResult<std::vector<std::uint8_t>> assemble_frame(FrameHeader header,
                                                           std::span<const EncodedBlock> blocks,
                                                           std::uint64_t block_samples) {
  if (blocks.size() == 1) {
    header.body = blocks[0].kind;
    header.largest_error = blocks[0].largest_error;
    return pack_frame(header, blocks[0].bytes);
  }
  try {
    std::vector<BlockSpan> spans;
    spans.reserve(blocks.size());
    std::uint32_t crc = 0;
    std::uint64_t size = 0;
    for (const EncodedBlock& block : blocks) {
      spans.push_back(span_of(block));
      crc = crc32_of(block.bytes, crc);
      size += block.bytes.size();
    }
    auto ends = finish_blocked(header, block_samples, spans, crc, size);
    if (!ends) return std::unexpected(ends.error());
    std::vector<std::uint8_t> frame = std::move(ends->header);
    frame.reserve(frame.size() + size + ends->tail.size());
    for (const EncodedBlock& block : blocks) frame.insert(frame.end(), block.bytes.begin(), block.bytes.end());
    frame.insert(frame.end(), ends->tail.begin(), ends->tail.end());
    return frame;
  } catch (const std::bad_alloc&) {
    return std::unexpected(PredictiveError::out_of_memory());
  }
}

}  // namespace tessarine::frame
