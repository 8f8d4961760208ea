#include "predictive/rans_contexts.hpp"

#include <algorithm>
#include <bit>

#include "predictive/code_log2.hpp"

namespace tessarine::predictive {
namespace {

using Cuts = std::array<std::uint8_t, kMaxContexts - 1>;

// Candidate thresholds at the kMaxContexts-quantiles of the context values, each leaving
// values on both sides; returns how many.
unsigned quantile_cuts(std::span<const std::uint8_t> values, Cuts& cuts) {
  std::array<std::uint32_t, kContextValues> histogram{};
  {
    // A group's tokens share their value: one count per group, in four interleaved histograms,
    // so that equal values in a row do not wait on each other's stores.
    std::array<std::array<std::uint32_t, kContextValues>, 4> lanes{};
    const std::size_t n = values.size();
    constexpr std::size_t kStride = 4 * kContextGroup;
    std::size_t g = 0;
    for (; g + kStride <= n; g += kStride) {
      lanes[0][values[g]] += kContextGroup;
      lanes[1][values[g + kContextGroup]] += kContextGroup;
      lanes[2][values[g + 2 * kContextGroup]] += kContextGroup;
      lanes[3][values[g + 3 * kContextGroup]] += kContextGroup;
    }
    for (; g < n; g += kContextGroup) {
      lanes[0][values[g]] += static_cast<std::uint32_t>(std::min<std::size_t>(kContextGroup, n - g));
    }
    for (unsigned v = 0; v < kContextValues; ++v) {
      histogram[v] = lanes[0][v] + lanes[1][v] + lanes[2][v] + lanes[3][v];
    }
  }
  const std::uint64_t n = values.size();
  unsigned found = 0;
  unsigned quantile = 1;
  std::uint64_t below = histogram[0];  // values < v
  for (unsigned v = 1; v < kContextValues && quantile < kMaxContexts && below < n; ++v) {
    if (below * kMaxContexts >= quantile * n) {
      cuts[found++] = static_cast<std::uint8_t>(v);
      while (quantile < kMaxContexts && below * kMaxContexts >= quantile * n) ++quantile;
    }
    below += histogram[v];
  }
  return found;
}

// Counts per fine class (the classes of all candidate cuts). Four interleaved copies keep
// repeated tokens from waiting on each other's stores.
void count_fine_classes(std::span<const std::uint8_t> tokens, std::span<const std::uint8_t> values,
                        const ContextOfValue& context_of,
                        std::array<TokenCounts, kMaxContexts>& counts) {
  std::array<std::array<TokenCounts, kMaxContexts>, 4> lanes{};
  const std::size_t n = tokens.size();
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    lanes[0][context_of[values[i]]][tokens[i]] += 1;
    lanes[1][context_of[values[i + 1]]][tokens[i + 1]] += 1;
    lanes[2][context_of[values[i + 2]]][tokens[i + 2]] += 1;
    lanes[3][context_of[values[i + 3]]][tokens[i + 3]] += 1;
  }
  for (; i < n; ++i) lanes[0][context_of[values[i]]][tokens[i]] += 1;
  for (unsigned c = 0; c < kMaxContexts; ++c) {
    for (unsigned t = 0; t < kTokenCount; ++t) {
      counts[c][t] = lanes[0][c][t] + lanes[1][c][t] + lanes[2][c][t] + lanes[3][c][t];
    }
  }
}

// Estimated cost (bits x 2^16) of coding `counts` (zero from `limit` on) with their own table:
// the empirical entropy plus the table's bytes.
std::uint64_t estimated_cost(const TokenCounts& counts, unsigned limit) {
  std::uint64_t total = 0;
  std::uint64_t sum_c_log_c = 0;
  unsigned present = 0;
  unsigned runs = 0;
  for (unsigned t = 0; t < limit; ++t) {
    if (counts[t] == 0) continue;
    total += counts[t];
    sum_c_log_c += std::uint64_t{counts[t]} * log2_fixed(counts[t]);
    ++present;
    runs += (t == 0 || counts[t - 1] == 0) ? 1 : 0;
  }
  if (total == 0) return std::uint64_t{8} << kLog2Fraction;
  unsigned wide = 0;  // frequencies above 128 take two varint bytes
  for (unsigned t = 0; t < limit; ++t) wide += (std::uint64_t{counts[t]} * kScale > total * 128) ? 1 : 0;
  const std::uint64_t entropy = total * log2_fixed(static_cast<std::uint32_t>(total)) - sum_c_log_c;
  const std::uint64_t table_bytes = 1 + 2 * runs + present + wide;
  return entropy + (table_bytes * 8 << kLog2Fraction);
}

TokenCounts merged(const std::array<TokenCounts, kMaxContexts>& fine, unsigned first,
                   unsigned last, unsigned limit) {
  TokenCounts sum{};
  for (unsigned c = first; c <= last; ++c) {
    for (unsigned t = 0; t < limit; ++t) sum[t] += fine[c][t];
  }
  return sum;
}

}  // namespace

ContextOfValue context_of_value(std::span<const std::uint8_t> thresholds) {
  ContextOfValue context_of{};
  for (unsigned v = 0; v < kContextValues; ++v) {
    unsigned c = 0;
    for (std::uint8_t cut : thresholds) c += v >= cut ? 1 : 0;
    context_of[v] = static_cast<std::uint8_t>(c);
  }
  return context_of;
}

ContextPlan plan_contexts(std::span<const std::uint8_t> tokens, std::span<const std::uint8_t> values,
                          const TokenCounts& order0) {
  ContextPlan plan;
  plan.counts[0] = order0;
  Cuts cuts{};
  const unsigned cut_count = quantile_cuts(values, cuts);
  if (cut_count == 0) return plan;
  // Tokens from `limit` on are absent: short chunks skip their empty counters.
  unsigned limit = kTokenCount;
  while (order0[limit - 1] == 0) --limit;
  std::array<TokenCounts, kMaxContexts> fine{};
  count_fine_classes(tokens, values, context_of_value(std::span(cuts.data(), cut_count)), fine);
  // cost[a][b]: fine classes a..b sharing one table.
  std::array<std::array<std::uint64_t, kMaxContexts>, kMaxContexts> cost{};
  for (unsigned a = 0; a <= cut_count; ++a) {
    TokenCounts sum{};
    for (unsigned b = a; b <= cut_count; ++b) {
      for (unsigned t = 0; t < limit; ++t) sum[t] += fine[b][t];
      cost[a][b] = estimated_cost(sum, limit);
    }
  }
  unsigned best_mask = 0;
  std::uint64_t best_cost = cost[0][cut_count];
  for (unsigned mask = 1; mask < (1u << cut_count); ++mask) {
    std::uint64_t total = (std::uint64_t{8} * std::popcount(mask)) << kLog2Fraction;
    unsigned first = 0;
    for (unsigned j = 0; j <= cut_count; ++j) {
      if (j == cut_count || (mask >> j & 1)) {
        total += cost[first][j];
        first = j + 1;
      }
    }
    if (total < best_cost) {
      best_cost = total;
      best_mask = mask;
    }
  }
  plan.count = 0;
  unsigned first = 0;
  for (unsigned j = 0; j <= cut_count; ++j) {
    if (j == cut_count || (best_mask >> j & 1)) {
      plan.counts[plan.count] = merged(fine, first, j, limit);
      if (j < cut_count) plan.thresholds[plan.count] = cuts[j];
      ++plan.count;
      first = j + 1;
    }
  }
  return plan;
}

}  // namespace tessarine::predictive
