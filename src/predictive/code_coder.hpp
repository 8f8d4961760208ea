#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "predictive/error.hpp"

namespace tessarine::predictive {

// Codes are coded in chunks of at most this many, each self-contained.
inline constexpr std::size_t kCodeChunk = std::size_t{1} << 16;

// Appends the entropy-coded form of one chunk of codes (zigzagged quantisation codes: small
// values most likely) to `out`. `codes.size()` is at most kCodeChunk and is not stored: the
// decoder is told it.
[[nodiscard]] PredictiveResult<void> encode_codes(std::span<const std::uint64_t> codes,
                                                  std::vector<std::uint8_t>& out);

// Decodes exactly `codes.size()` codes from the front of `bytes`; returns how many bytes they
// took. Any bytes give either codes or an error, never a read outside `bytes`.
[[nodiscard]] PredictiveResult<std::size_t> decode_codes(std::span<const std::uint8_t> bytes,
                                                         std::span<std::uint64_t> codes);

}  // namespace tessarine::predictive
