#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "codec/error.hpp"
#include "codec/header.hpp"

namespace tessarine {

// The container bytes: `header` with `payload_len` set from `payload`, then the payload.
// A payload longer than the 32-bit length field can describe is refused.
[[nodiscard]] TessarineResult<std::vector<std::uint8_t>> assemble_container(
    TessarineHeader header, std::span<const std::uint8_t> payload);

}  // namespace tessarine
