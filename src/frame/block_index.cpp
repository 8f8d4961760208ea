#include "frame/block_index.hpp"

#include <cmath>
#include <limits>
#include <new>

#include "frame/byte_order.hpp"
#include "frame/checksum.hpp"
#include "predictive/code_coder.hpp"

namespace tessarine::frame {
namespace {

using predictive::PredictiveError;

constexpr std::uint64_t kMostBlocks =
    (std::numeric_limits<std::uint64_t>::max() - kTrailerSize) / kIndexEntrySize;

std::uint32_t tail_crc(std::span<const std::uint8_t> header, std::span<const std::uint8_t> tail) {
  return crc32_of(tail.first(tail.size() - 4), crc32_of(header.subspan(kCrcEnd, kFrameHeaderSize - kCrcEnd)));
}

// Whether `size` bytes of `kind` can honestly hold `samples`: verbatim blocks are exactly
// their samples, and every chunk of a predictive stream takes at least a byte.
bool block_fits(const BlockSpan& block, std::uint8_t item_size) {
  if (block.kind == BodyKind::Verbatim) {
    return block.size % item_size == 0 && block.size / item_size == block.samples;
  }
  return block.kind == BodyKind::Predictive &&
         (block.samples - 1) / predictive::kCodeChunk + 1 <= block.size;
}

PredictiveResult<BlockSpan> read_entry(const std::uint8_t* at, std::uint64_t first,
                                       std::uint64_t samples, std::uint64_t offset,
                                       std::uint8_t item_size) {
  BlockSpan block{first, samples, offset, get_le<std::uint64_t>(at), BodyKind::Predictive,
                  get_le<double>(at + 9), get_le<std::uint32_t>(at + 17)};
  if (at[8] > static_cast<std::uint8_t>(BodyKind::Verbatim)) {
    return std::unexpected(PredictiveError::damaged("a block of unknown kind"));
  }
  block.kind = static_cast<BodyKind>(at[8]);
  if (!(block.largest_error >= 0.0) || std::isinf(block.largest_error)) {
    return std::unexpected(PredictiveError::damaged("a block with an impossible largest error"));
  }
  if (!block_fits(block, item_size)) {
    return std::unexpected(PredictiveError::damaged("a block cannot hold its samples"));
  }
  return block;
}

}  // namespace

PredictiveResult<std::vector<std::uint8_t>> pack_block_tail(std::span<const std::uint8_t> header,
                                                            std::uint64_t block_samples,
                                                            std::span<const BlockSpan> blocks) {
  try {
    std::vector<std::uint8_t> tail;
    tail.reserve(blocks.size() * kIndexEntrySize + kTrailerSize);
    for (const BlockSpan& block : blocks) {
      put_le<std::uint64_t>(tail, block.size);
      tail.push_back(static_cast<std::uint8_t>(block.kind));
      put_le<double>(tail, block.largest_error);
      put_le<std::uint32_t>(tail, block.crc);
    }
    put_le<std::uint64_t>(tail, block_samples);
    put_le<std::uint64_t>(tail, blocks.size());
    put_le<std::uint32_t>(tail, 0);
    const std::uint32_t crc = tail_crc(header, tail);
    tail.resize(tail.size() - 4);
    put_le<std::uint32_t>(tail, crc);
    return tail;
  } catch (const std::bad_alloc&) {
    return std::unexpected(PredictiveError::out_of_memory());
  }
}

PredictiveResult<std::uint64_t> block_tail_size(std::span<const std::uint8_t> trailer) {
  if (trailer.size() != kTrailerSize) {
    return std::unexpected(PredictiveError::damaged("its block index is cut short"));
  }
  const auto block_count = get_le<std::uint64_t>(trailer.data() + 8);
  if (block_count == 0 || block_count > kMostBlocks) {
    return std::unexpected(PredictiveError::damaged("an impossible block count"));
  }
  return block_count * kIndexEntrySize + kTrailerSize;
}

PredictiveResult<BlockLayout> parse_block_tail(std::span<const std::uint8_t> header,
                                               const FrameHeader& fields,
                                               std::span<const std::uint8_t> tail,
                                               std::uint64_t body_size) {
  if (tail.size() < kTrailerSize || tail.size() > body_size) {
    return std::unexpected(PredictiveError::damaged("its block index is cut short"));
  }
  const auto trailer = tail.last(kTrailerSize);
  const auto tail_size = block_tail_size(trailer);
  if (!tail_size) return std::unexpected(tail_size.error());
  if (*tail_size != tail.size()) return std::unexpected(PredictiveError::damaged("its block index is cut short"));
  if (tail_crc(header, tail) != get_le<std::uint32_t>(trailer.data() + 16)) {
    return std::unexpected(PredictiveError::damaged("its block index fails its checksum"));
  }
  BlockLayout layout;
  layout.block_samples = get_le<std::uint64_t>(trailer.data());
  const auto block_count = get_le<std::uint64_t>(trailer.data() + 8);
  if (layout.block_samples == 0 || fields.count == 0 ||
      (fields.count - 1) / layout.block_samples + 1 != block_count) {
    return std::unexpected(PredictiveError::damaged("its blocks do not add up to its samples"));
  }
  try {
    layout.blocks.reserve(block_count);
    const std::uint64_t blocks_end = body_size - tail.size();
    std::uint64_t offset = 0;
    for (std::uint64_t i = 0; i < block_count; ++i) {
      const std::uint64_t first = i * layout.block_samples;
      const std::uint64_t samples = std::min(layout.block_samples, fields.count - first);
      auto block = read_entry(tail.data() + i * kIndexEntrySize, first, samples, offset,
                              fields.type.size);
      if (!block) return std::unexpected(block.error());
      if (block->size > blocks_end - offset) {
        return std::unexpected(PredictiveError::damaged("its blocks overrun the body"));
      }
      offset += block->size;
      layout.blocks.push_back(*block);
    }
    if (offset != blocks_end) return std::unexpected(PredictiveError::damaged("its blocks do not fill the body"));
  } catch (const std::bad_alloc&) {
    return std::unexpected(PredictiveError::out_of_memory());
  }
  return layout;
}

}  // namespace tessarine::frame
