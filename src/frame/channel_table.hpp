#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "frame/channel_predictor.hpp"
#include "frame/frame_header.hpp"

namespace tessarine::frame {

// One channel of a multichannel frame: its predictor and where its own frame lies.
struct ChannelEntry {
  ChannelPredictor predictor;
  std::uint64_t offset = 0;  // its frame's first byte, counted from the start of the body
  std::uint64_t size = 0;
};

struct ChannelLayout {
  std::uint64_t count = 0;  // samples per channel
  std::vector<ChannelEntry> channels;
};

// The table that opens a multichannel body, for channels whose frames follow in order.
[[nodiscard]] PredictiveResult<std::vector<std::uint8_t>> pack_channel_table(
    std::uint64_t count, std::span<const ChannelEntry> channels);

// Reads and checks the table and each channel frame's header against it (count, type, no
// nesting), so a caller may allocate every channel once this succeeds.
[[nodiscard]] PredictiveResult<ChannelLayout> parse_channel_table(const FrameHeader& header,
                                                                  std::span<const std::uint8_t> body);

// The type a channel's own frame holds: the channel's, or a residual's when it is predicted.
[[nodiscard]] bool residual_type_fits(SampleType channel, SampleType stored, bool predicted);

}  // namespace tessarine::frame
