#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "codec/error.hpp"

namespace tessarine {

// Raw DEFLATE (no zlib or gzip wrapper) at level 6. A stream failure becomes `Io` with
// zlib's text.
[[nodiscard]] TessarineResult<std::vector<std::uint8_t>> deflate_raw(
    std::span<const std::uint8_t> input);

// Inflates a raw DEFLATE stream until it ends, the input is used up, or `max_output` bytes
// are produced, whichever comes first: a stream cut short yields what was decoded so far,
// and a small hostile stream cannot expand beyond what the caller can use. A malformed
// stream fails with `Decompression` "corrupt deflate stream".
[[nodiscard]] TessarineResult<std::vector<std::uint8_t>> inflate_raw(
    std::span<const std::uint8_t> input, std::size_t max_output);

}  // namespace tessarine
