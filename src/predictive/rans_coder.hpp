#pragma once

// Interleaved rANS over tokens: token i is coded by state i % 4 with the table of its context.
// Read this first: the encoder walks the tokens backwards and writes its stream downwards, so
// the decoder reads the stream forwards in token order. The stream is the final states of the
// lanes used (min(n, 4), lane 0 first, 32-bit little-endian), then the 16-bit little-endian
// renormalisation words. Every lane starts at kRansLow, so a correct decode ends there.

#include <cstddef>
#include <array>
#include <cstdint>
#include <span>

#include "predictive/error.hpp"
#include "predictive/rans_contexts.hpp"
#include "predictive/rans_symbols.hpp"

namespace tessarine::predictive {

// Value-to-slot offsets: `base_of[s]` is kScale times the context of the tokens after a
// group whose tokens sum to s (s < kBaseOfSums).
inline constexpr std::size_t kBaseOfSums = 4 * (kTokenCount - 1) + 1;
using BaseOfSum = std::array<std::uint32_t, kBaseOfSums>;

// `values` are the tokens' context values, `context_of` maps them to contexts, and `symbols`
// holds kTokenCount entries per context. Writes below `end`, using at most 2 * n + 18 bytes;
// returns where the stream starts. `branch_free` (for tokens of 2 bits and more, whose lanes
// renormalise often) only picks the loop.
[[nodiscard]] std::uint8_t* encode_tokens(std::span<const std::uint8_t> tokens,
                                          std::span<const std::uint8_t> values,
                                          const ContextOfValue& context_of,
                                          const EncodeSymbol* symbols, std::uint8_t* end,
                                          bool branch_free);

// The extra bits of a chunk: `size` bytes at the front of `readable`, which may reach further
// (to the end of the chunk) so that the decoder can read whole words.
struct ExtraBits {
  std::span<const std::uint8_t> readable;
  std::size_t size;
};

// Decodes n = codes.size() codes: their tokens from the front of `bytes` with `slots` (kScale
// per context, fill_decode_slots; `base_of` is null when there is one context), each with its
// extra bits, which must fill exactly extras.size bytes. Returns the bytes the token stream
// took. `mostly_direct` (most groups of four tokens are codes of their own) only picks the
// faster loop: the codes are the same either way.
[[nodiscard]] PredictiveResult<std::size_t> decode_tokens(
    std::span<const std::uint8_t> bytes, const std::uint32_t* slots, const BaseOfSum* base_of,
    const ExtraBits& extras, bool mostly_direct, std::span<std::uint64_t> codes);

}  // namespace tessarine::predictive
