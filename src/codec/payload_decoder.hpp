#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "codec/error.hpp"

namespace tessarine {

// Entropy-decodes a container payload with the coder its header byte names
// (payload_coders.hpp) and checks that the result holds at least `needed_bytes` coefficient bytes.
// A rANS stream is decoded in full, so a malformed one gives its own error before any
// comparison with the layout; output of either coder stops at `needed_bytes`, since later
// bytes would be ignored anyway and must not cost memory.
[[nodiscard]] TessarineResult<std::vector<std::uint8_t>> decode_payload(
    std::span<const std::uint8_t> payload, std::uint8_t coder, std::uint64_t needed_bytes);

}  // namespace tessarine
