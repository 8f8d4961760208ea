#pragma once

#include <span>
#include <vector>

#include "codec/error.hpp"
#include "codec/options.hpp"

namespace tessarine {

// The samples decompress(compress(samples, options)) gives, bit for bit, without entropy
// coding (which is lossless): the encoder's quantised coefficients go straight to the
// decoder's synthesis. `options.coder` is checked but otherwise plays no part. Fails exactly
// where compress fails before its entropy coder.
[[nodiscard]] TessarineResult<std::vector<float>> reconstruct(std::span<const float> samples,
                                                              const CompressionOptions& options);

}  // namespace tessarine
