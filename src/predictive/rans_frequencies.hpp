#pragma once

// A context's token frequencies: normalised to kScale, and their stored form.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "predictive/code_tokens.hpp"
#include "predictive/error.hpp"

namespace tessarine::predictive {

// 11 bits code as tightly as 12 on our codes, and halve the decoder's tables (L1 space with
// six contexts).
inline constexpr unsigned kScaleBits = 11;
inline constexpr std::uint32_t kScale = std::uint32_t{1} << kScaleBits;

using TokenCounts = std::array<std::uint32_t, kTokenCount>;
// Either all zero (a context that codes nothing) or summing to kScale, each counted token >= 1.
using Frequencies = std::array<std::uint16_t, kTokenCount>;

// Frequencies as close to the counts as the cost in bits allows (integer arithmetic only).
[[nodiscard]] Frequencies normalise_frequencies(const TokenCounts& counts);

// Stored form: one byte, the number of runs of present tokens; per run two bytes, the absent
// tokens before it (counted from the end of the previous run) and its length minus one; then
// per present token, in token order, its frequency minus one as a varint.
void write_frequencies(const Frequencies& frequencies, std::vector<std::uint8_t>& out);

[[nodiscard]] PredictiveResult<Frequencies> read_frequencies(std::span<const std::uint8_t> bytes,
                                                             std::size_t& at);

}  // namespace tessarine::predictive
