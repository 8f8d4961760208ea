#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "frame/bound.hpp"
#include "frame/frame_format.hpp"
#include "predictive/sample_type.hpp"

namespace tessarine::frame {

// A version-2 frame of `samples` meeting every bound given (at least one must be): the
// predictive stream, or the samples verbatim when that would not be smaller.
[[nodiscard]] PredictiveResult<std::vector<std::uint8_t>> compress_bounded(
    const predictive::SampleView& samples, const Bound& bound);

// Decodes a parsed frame into `out`, which holds exactly count × item size bytes.
[[nodiscard]] PredictiveResult<void> decode_frame(const FrameView& frame, std::span<std::byte> out);

}  // namespace tessarine::frame
