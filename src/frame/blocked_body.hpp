#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "frame/block_coding.hpp"
#include "frame/frame_header.hpp"

namespace tessarine::frame {

// A frame's header and what follows its blocks, for a writer that has already written the
// blocks (their bytes ran through CRC-32 as `blocks_crc`, `blocks_size` bytes in all).
struct BlockedEnds {
  std::vector<std::uint8_t> header;  // the 53 header bytes, frame CRC included
  std::vector<std::uint8_t> tail;    // index and trailer: the frame's last bytes
};

// `header` names the kind and largest error of the frame as a whole; `blocks` list each
// block's size, kind, largest error and CRC in order.
[[nodiscard]] PredictiveResult<BlockedEnds> finish_blocked(FrameHeader header,
                                                           std::uint64_t block_samples,
                                                           std::span<const BlockSpan> blocks,
                                                           std::uint32_t blocks_crc,
                                                           std::uint64_t blocks_size);

// The index entry of a coded block: its CRC computed here.
[[nodiscard]] BlockSpan span_of(const EncodedBlock& block);

// A whole frame of one block (header and body as before blocks existed) or of several.
[[nodiscard]] PredictiveResult<std::vector<std::uint8_t>> assemble_frame(
    FrameHeader header, std::span<const EncodedBlock> blocks, std::uint64_t block_samples);

}  // namespace tessarine::frame
