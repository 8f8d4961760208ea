#pragma once

// Interleaved rANS over tokens: token i is coded by state i % 4 with the table of its context.
// Read this first: the encoder walks the tokens backwards and writes its stream downwards, so
// the decoder reads the stream forwards in token order. The stream is the final states of the
// lanes used (min(n, 4), lane 0 first, 32-bit little-endian), then the 16-bit little-endian
// renormalisation words. Every lane starts at kRansLow, so a correct decode ends there.

#include <cstddef>
#include <cstdint>
#include <span>

#include "predictive/error.hpp"
#include "predictive/rans_contexts.hpp"
#include "predictive/rans_symbols.hpp"

namespace tessarine::predictive {

// `history` is a 0 (the first token's predecessor) followed by the n tokens; `symbols` holds
// kTokenCount entries per context. Writes below `end`, using at most 2 * n + 18 bytes; returns
// where the stream starts.
[[nodiscard]] std::uint8_t* encode_tokens(std::span<const std::uint8_t> history,
                                          const ContextOfToken& context_of,
                                          const EncodeSymbol* symbols, std::uint8_t* end);

// Decodes n = slot_of_token.size() tokens from the front of `bytes` with `slots` (kScale per
// context, fill_decode_slots); token i is left as the index of its slot, context * kScale +
// slot, for the caller to map to the token. `contexts` is false when there is one context.
// Returns the bytes the stream took.
[[nodiscard]] PredictiveResult<std::size_t> decode_tokens(std::span<const std::uint8_t> bytes,
                                                          const std::uint32_t* slots, bool contexts,
                                                          std::span<std::uint64_t> slot_of_token);

}  // namespace tessarine::predictive
