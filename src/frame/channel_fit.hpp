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
// marked in `sources` may predict: a channel derived from others adds nothing they do not
// already say, and would make the fit degenerate.
struct ChannelFit {
  ChannelPredictor predictor;
  bool derived = false;  // the channel is (almost) a combination of its sources
};

[[nodiscard]] ChannelFit fit_predictor(std::size_t index,
                                       std::span<const std::vector<std::int64_t>> channels,
                                       double step, const std::vector<bool>& sources);

}  // namespace tessarine::frame
