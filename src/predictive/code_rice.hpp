#pragma once

// The short-chunk code, which needs no table: a Rice code with an escape. Code v with parameter
// k has quotient q = v >> k. If q < 16: q one bits, a zero bit, then the low k bits of v. Else:
// sixteen one bits, six bits holding b = bit_width(v) - 1, then the b bits of v below its top
// bit. All in the raw bit order of code_bits.hpp.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "predictive/error.hpp"

namespace tessarine::predictive {

// The parameter, among those near the codes' mean, that gives the fewest bytes.
[[nodiscard]] unsigned best_rice_parameter(std::span<const std::uint64_t> codes);

// Bytes of the whole chunk (mode byte, parameter byte, bits) with parameter k.
[[nodiscard]] std::size_t rice_chunk_size(std::span<const std::uint64_t> codes, unsigned k);

// Appends the whole chunk.
void encode_rice_chunk(std::span<const std::uint64_t> codes, unsigned k,
                       std::vector<std::uint8_t>& out);

// `bytes` starts at the mode byte; returns the bytes the chunk took.
[[nodiscard]] PredictiveResult<std::size_t> decode_rice_chunk(std::span<const std::uint8_t> bytes,
                                                              std::span<std::uint64_t> codes);

}  // namespace tessarine::predictive
