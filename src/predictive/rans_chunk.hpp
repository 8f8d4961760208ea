#pragma once

// The table-coded chunk: tokens by interleaved rANS with contexts, extra bits raw.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "predictive/error.hpp"

namespace tessarine::predictive {

// Appends the whole chunk (mode byte first) for codes that are not empty.
void encode_rans_chunk(std::span<const std::uint64_t> codes, std::vector<std::uint8_t>& out);

// `bytes` starts at the mode byte; returns the bytes the chunk took.
[[nodiscard]] PredictiveResult<std::size_t> decode_rans_chunk(std::span<const std::uint8_t> bytes,
                                                              std::span<std::uint64_t> codes);

}  // namespace tessarine::predictive
