#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "frame/channel_predictor.hpp"

namespace tessarine::frame {

// The predictor from earlier channels that best explains how channel `index` changes, fitted
// by least squares on a sample of its samples, or none when the estimate says the channel
// would not be noticeably cheaper to code (quantised in steps of `step`) with it. Only channels
// marked in `sources` may predict: those coded alone, since a predicted channel adds nothing
// its own sources do not already say, and would make the fit degenerate.
[[nodiscard]] ChannelPredictor fit_predictor(std::size_t index,
                                             std::span<const std::vector<std::int64_t>> channels,
                                             double step, const std::vector<bool>& sources);

}  // namespace tessarine::frame
