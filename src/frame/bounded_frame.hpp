#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "frame/block_coding.hpp"
#include "frame/bound.hpp"
#include "frame/frame_format.hpp"
#include "predictive/sample_type.hpp"

namespace tessarine::frame {

inline constexpr std::uint64_t kDefaultBlockSamples = std::uint64_t{1} << 20;

struct BlockOptions {
  std::uint64_t block_samples = kDefaultBlockSamples;  // a longer signal is cut into blocks
  unsigned threads = 1;  // the frame's bytes do not depend on it
};

// A version-2 frame of `samples` meeting every bound given (at least one must be). A signal of
// at most one block gives a single body; a longer one independent blocks and their index.
// rel_error and psnr refer to the whole signal, whatever the blocks.
[[nodiscard]] PredictiveResult<std::vector<std::uint8_t>> compress_bounded(
    const predictive::SampleView& samples, const Bound& bound, const BlockOptions& options = {});

// The per-sample bound that max_error and rel_error give for a signal of this range (max - min
// of its finite samples): what every block of a stream is coded to. psnr is not per sample.
[[nodiscard]] double per_sample_limit(const Bound& bound, double span);

}  // namespace tessarine::frame
