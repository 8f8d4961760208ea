#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "frame/bounded_frame.hpp"
#include "frame/channel_samples.hpp"
#include "frame/frame_decode.hpp"

namespace tessarine::frame {

// One version-2 frame of several channels of one length. Each channel keeps its own bound
// (`bounds` holds one for all or one per channel; rel_error and psnr against the channel's
// own range). With `joint`, an integer channel may be predicted from channels before it,
// where a least-squares fit says it gets noticeably cheaper; its residual is then coded, in
// exact integer arithmetic, to the channel's own per-sample bound.
[[nodiscard]] PredictiveResult<std::vector<std::uint8_t>> compress_channels(
    const ChannelsView& channels, std::span<const Bound> bounds, const BlockOptions& options,
    bool joint);

// Decodes the channels listed in `wanted` (in that order, each a full row of `out`), reading
// only their frames and those of the channels they are predicted from.
[[nodiscard]] DecodeResult decode_channels(const FrameView& frame,
                                           std::span<const std::size_t> wanted, unsigned threads,
                                           std::span<std::byte> out);

}  // namespace tessarine::frame
