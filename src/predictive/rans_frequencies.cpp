#include "predictive/rans_frequencies.hpp"

#include "predictive/code_log2.hpp"
#include "predictive/code_varint.hpp"

namespace tessarine::predictive {
namespace {

// Rounds each count to its share of kScale, at least 1; returns the sum.
std::uint32_t proportional_shares(const TokenCounts& counts, Frequencies& frequencies) {
  std::uint64_t total = 0;
  for (std::uint32_t c : counts) total += c;
  std::uint32_t sum = 0;
  for (unsigned t = 0; t < kTokenCount; ++t) {
    if (counts[t] == 0) continue;
    const std::uint64_t share = (std::uint64_t{counts[t]} * kScale + total / 2) / total;
    frequencies[t] = static_cast<std::uint16_t>(share == 0 ? 1 : share);
    sum += frequencies[t];
  }
  return sum;
}

// Bits (x 2^16) that moving frequency f to f + 1 saves on `count` tokens.
std::uint64_t gain_of_raise(std::uint32_t count, std::uint32_t f) {
  return std::uint64_t{count} * (kLog2Table[f + 1] - kLog2Table[f]);
}

// Moves frequency one step at a time to where it costs least, until the sum is kScale.
void settle_sum(const TokenCounts& counts, Frequencies& frequencies, std::uint32_t sum) {
  while (sum > kScale) {
    unsigned best = kTokenCount;
    std::uint64_t best_loss = ~std::uint64_t{0};
    for (unsigned t = 0; t < kTokenCount; ++t) {
      if (frequencies[t] <= 1) continue;
      const std::uint64_t loss = gain_of_raise(counts[t], frequencies[t] - 1u);
      if (loss < best_loss) {
        best_loss = loss;
        best = t;
      }
    }
    --frequencies[best];
    --sum;
  }
  while (sum < kScale) {
    unsigned best = 0;
    std::uint64_t best_gain = 0;
    for (unsigned t = 0; t < kTokenCount; ++t) {
      if (counts[t] == 0) continue;
      const std::uint64_t gain = gain_of_raise(counts[t], frequencies[t]);
      if (gain > best_gain || counts[best] == 0) {
        best_gain = gain;
        best = t;
      }
    }
    ++frequencies[best];
    ++sum;
  }
}

}  // namespace

Frequencies normalise_frequencies(const TokenCounts& counts) {
  Frequencies frequencies{};
  const std::uint32_t sum = proportional_shares(counts, frequencies);
  if (sum != 0) settle_sum(counts, frequencies, sum);
  return frequencies;
}

void write_frequencies(const Frequencies& frequencies, std::vector<std::uint8_t>& out) {
  const std::size_t runs_at = out.size();
  out.push_back(0);
  unsigned runs = 0;
  unsigned next = 0;  // first token after the previous run
  for (unsigned t = 0; t < kTokenCount;) {
    if (frequencies[t] == 0) {
      ++t;
      continue;
    }
    unsigned end = t;
    while (end < kTokenCount && frequencies[end] != 0) ++end;
    out.push_back(static_cast<std::uint8_t>(t - next));
    out.push_back(static_cast<std::uint8_t>(end - t - 1));
    ++runs;
    next = t = end;
  }
  out[runs_at] = static_cast<std::uint8_t>(runs);
  for (std::uint16_t f : frequencies) {
    if (f != 0) put_varint(f - 1u, out);
  }
}

PredictiveResult<Frequencies> read_frequencies(std::span<const std::uint8_t> bytes,
                                               std::size_t& at) {
  const auto cut_short = std::unexpected(PredictiveError::damaged("code table is cut short"));
  const auto invalid = std::unexpected(PredictiveError::damaged("code table is invalid"));
  if (at >= bytes.size()) return cut_short;
  const unsigned runs = bytes[at++];
  if (bytes.size() - at < 2 * std::size_t{runs}) return cut_short;
  Frequencies frequencies{};
  unsigned next = 0;
  for (unsigned r = 0; r < runs; ++r) {
    const unsigned start = next + bytes[at];
    const unsigned end = start + bytes[at + 1] + 1u;
    at += 2;
    if (end > kTokenCount) return invalid;
    for (unsigned t = start; t < end; ++t) frequencies[t] = 1;  // marks presence
    next = end;
  }
  std::uint32_t sum = 0;
  for (auto& f : frequencies) {
    if (f == 0) continue;
    const std::size_t before = at;
    const auto value = get_varint(bytes, at, 2);
    if (!value) return at >= bytes.size() && at - before < 2 ? cut_short : invalid;
    if (*value >= kScale) return invalid;
    f = static_cast<std::uint16_t>(*value + 1);
    sum += f;
  }
  if (runs != 0 && sum != kScale) return invalid;
  return frequencies;
}

}  // namespace tessarine::predictive
