#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "codec/error.hpp"
#include "codec/options.hpp"

namespace tessarine {

// Largest number of samples a container can hold (the header's count is treated as signed).
inline constexpr std::size_t kMaxSampleCount = 2147483647;

// One complete container: the 52-byte header followed by the coded payload. The samples are
// only read. Non-finite samples are not errors: NaN and -inf become 0, +inf becomes 1.
[[nodiscard]] TessarineResult<std::vector<std::uint8_t>> compress(
    std::span<const float> samples, const CompressionOptions& options);

}  // namespace tessarine
