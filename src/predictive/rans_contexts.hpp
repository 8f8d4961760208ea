#pragma once

// Context modelling: tokens go in groups of kContextGroup (token i in group i / 4), and every
// token of a group is coded with the table of the group before it: its context value is the sum
// of that group's tokens, at most 255 (0 for the first group). The context is the class of the
// value, cut at up to five thresholds; the encoder places candidate cuts at the sixths of the
// values and keeps those whose estimated saving beats their table cost.
//
// Why a group: the decoder's four rANS lanes then look up a group's tokens side by side, and
// only the next group waits on them (a context from token i - 1 would chain every lookup to the
// one before). The sum also measures the local magnitude better than one token does.

#include <array>
#include <cstdint>
#include <span>

#include "predictive/rans_frequencies.hpp"

namespace tessarine::predictive {

inline constexpr unsigned kMaxContexts = 6;
inline constexpr unsigned kContextGroup = 4;
inline constexpr unsigned kContextValues = 256;

// The context value of the tokens after a group t0..t3.
[[nodiscard]] constexpr unsigned group_value(unsigned t0, unsigned t1, unsigned t2, unsigned t3) {
  const unsigned sum = t0 + t1 + t2 + t3;
  return sum < kContextValues ? sum : kContextValues - 1;
}

using ContextOfValue = std::array<std::uint8_t, kContextValues>;

// Context of a token whose context value is v: how many thresholds are <= v.
[[nodiscard]] ContextOfValue context_of_value(std::span<const std::uint8_t> thresholds);

struct ContextPlan {
  unsigned count = 1;
  std::array<std::uint8_t, kMaxContexts - 1> thresholds{};  // strictly increasing, each >= 1
  std::array<TokenCounts, kMaxContexts> counts{};           // the tokens each context codes
};

// `tokens` are not empty, `values` their context values, `order0` counts the tokens.
[[nodiscard]] ContextPlan plan_contexts(std::span<const std::uint8_t> tokens,
                                        std::span<const std::uint8_t> values,
                                        const TokenCounts& order0);

}  // namespace tessarine::predictive
