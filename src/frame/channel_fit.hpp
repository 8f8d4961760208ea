#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "frame/channel_predictor.hpp"
#include "predictive/sample_type.hpp"

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

// Runs of consecutive samples spread over the signal, each with room for every lagged change
// a fit tries: (first sample, length). Reading runs keeps the fit's memory access in order.
struct Runs {
  std::vector<std::size_t> starts;
  std::size_t length = 0;
};

// Every channel's samples around the runs a fit reads, laid out run after run (`runs` says
// where in these rows): all a fit needs of a long recording, which is never widened whole.
struct FitSamples {
  std::vector<std::vector<std::int64_t>> channels;
  Runs runs;
};

// `channels` all hold the same number of integer samples.
[[nodiscard]] FitSamples fit_samples(std::span<const predictive::SampleView> channels);

[[nodiscard]] ChannelFit fit_predictor(std::size_t index, const FitSamples& samples, double step,
                                       const std::vector<bool>& sources);

}  // namespace tessarine::frame
