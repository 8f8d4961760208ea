#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "frame/block_index.hpp"
#include "frame/channel_table.hpp"
#include "frame/frame_header.hpp"

namespace tessarine::frame {

struct FrameView {
  FrameHeader header;
  std::span<const std::uint8_t> body;
  BlockLayout layout;  // the blocks of a blocked body; empty otherwise
  ChannelLayout channels;  // the channels of a multichannel body; empty otherwise
};

// What parse_frame checksums before it trusts the bytes.
enum class Verify : std::uint8_t {
  Frame,   // the whole frame: every byte is read
  Layout,  // a blocked frame's header and index only, so that a window reads only its blocks
           // (each block's own CRC is checked when it is decoded); other frames in full
};

// Header, body and the CRC-32 over everything after the CRC field.
[[nodiscard]] PredictiveResult<std::vector<std::uint8_t>> pack_frame(
    const FrameHeader& header, std::span<const std::uint8_t> body);

// Checks magic, version, checksum, sample type, body kind and that the body can hold the
// declared count, so that a caller may allocate `count` samples once this succeeds.
[[nodiscard]] PredictiveResult<FrameView> parse_frame(std::span<const std::uint8_t> bytes,
                                                      Verify verify = Verify::Frame);

}  // namespace tessarine::frame
