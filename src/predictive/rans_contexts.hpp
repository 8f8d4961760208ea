#pragma once

// Context modelling: a token is coded with the table of its context, the class of the token
// before it (the first token's predecessor counts as token 0). Classes are ranges of tokens cut
// at up to five thresholds; the encoder places candidate cuts at the sixths of the predecessors
// and keeps those whose estimated saving beats their table cost.

#include <array>
#include <cstdint>
#include <span>

#include "predictive/rans_frequencies.hpp"

namespace tessarine::predictive {

inline constexpr unsigned kMaxContexts = 6;

using ContextOfToken = std::array<std::uint8_t, kTokenCount>;

struct ContextPlan {
  unsigned count = 1;
  std::array<std::uint8_t, kMaxContexts - 1> thresholds{};  // strictly increasing, each >= 1
  std::array<TokenCounts, kMaxContexts> counts{};           // the tokens each context codes
};

// Context of a token whose predecessor is t: how many thresholds are <= t.
[[nodiscard]] ContextOfToken context_of_previous(std::span<const std::uint8_t> thresholds);

// `order0` counts `tokens`, which are not empty.
[[nodiscard]] ContextPlan plan_contexts(std::span<const std::uint8_t> tokens,
                                        const TokenCounts& order0);

}  // namespace tessarine::predictive
