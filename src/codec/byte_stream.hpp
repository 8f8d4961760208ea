#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "codec/error.hpp"

namespace tessarine {

// Lossless byte streams: the rANS stream framing of container payloads, for callers outside
// the codec (the residual layer of a frame) that need bytes coded and nothing else. The error
// texts are the stream's own; a caller that is not decoding a container shows `text()`, not
// the container's `display()`.

// The most bytes one stream takes; longer inputs would make a stream its decoder refuses.
[[nodiscard]] std::uint64_t max_byte_stream_input() noexcept;

// Refuses, as `UnsupportedConfiguration`, inputs longer than max_byte_stream_input().
[[nodiscard]] TessarineResult<std::vector<std::uint8_t>> encode_byte_stream(
    std::span<const std::uint8_t> input);

// A malformed stream fails as `Decompression` with the stream's reason as its text.
[[nodiscard]] TessarineResult<std::vector<std::uint8_t>> decode_byte_stream(
    std::span<const std::uint8_t> stream);

}  // namespace tessarine
