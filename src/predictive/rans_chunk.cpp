#include "predictive/rans_chunk.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <memory>

#include "predictive/code_bits.hpp"
#include "predictive/code_modes.hpp"
#include "predictive/code_tokens.hpp"
#include "predictive/code_varint.hpp"
#include "predictive/rans_coder.hpp"

namespace tessarine::predictive {
namespace {

// The extra bits of 65536 codes take under 2^21 bytes.
constexpr unsigned kExtraSizeBytes = 3;

static_assert(kModeRansLast - kModeRans + 1 == kMaxContexts);

// A code's extra bits, as the stream stores them.
struct Extra {
  std::uint64_t bits;
  unsigned count;
};

// One pass over the codes: fills `tokens` and their context values `values`, counts the tokens,
// and writes their extra bits to `extras` (room for 8 bytes per code and 8 more); returns the
// extra bytes. Four interleaved counters keep runs of one token from waiting on each other's
// stores, and a group's extra bits go to the writer as one value when they fit in 56 bits (the
// usual case), so that the writer's chain from store to store is one step per group.
std::size_t tokenise(std::span<const std::uint64_t> codes, std::uint8_t* tokens, std::uint8_t* values,
                     TokenCounts& counts, std::uint8_t* extras) {
  static_assert(kContextGroup == 4);
  std::array<TokenCounts, 4> lanes{};
  BitWriter bits(extras);
  unsigned value = 0;  // of the group being tokenised
  auto count = [&](std::size_t i, TokenCounts& lane) {
    const std::uint64_t code = codes[i];
    const std::uint8_t t = token_of(code);
    tokens[i] = t;
    values[i] = static_cast<std::uint8_t>(value);
    lane[t] += 1;
    return Extra{code & kTokenTraits.mask[t], kTokenTraits.extra[t]};
  };
  const std::size_t n = codes.size();
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4) {  // one group
    const Extra e0 = count(i, lanes[0]);
    const Extra e1 = count(i + 1, lanes[1]);
    const Extra e2 = count(i + 2, lanes[2]);
    const Extra e3 = count(i + 3, lanes[3]);
    value = group_value(tokens[i], tokens[i + 1], tokens[i + 2], tokens[i + 3]);
    const unsigned at1 = e0.count;
    const unsigned at2 = at1 + e1.count;
    const unsigned at3 = at2 + e2.count;
    if (at3 + e3.count <= 56) [[likely]] {
      bits.put(e0.bits | e1.bits << at1 | e2.bits << at2 | e3.bits << at3, at3 + e3.count);
    } else {
      for (const Extra& e : {e0, e1, e2, e3}) bits.put(e.bits, e.count);
    }
  }
  for (; i < n; ++i) {
    const Extra e = count(i, lanes[0]);
    bits.put(e.bits, e.count);
  }
  for (unsigned t = 0; t < kTokenCount; ++t) {
    counts[t] = lanes[0][t] + lanes[1][t] + lanes[2][t] + lanes[3][t];
  }
  return bits.finish();
}

// From about 2 bits a token (the order-0 entropy) a lane renormalises often enough that its
// branch mispredicts more than conditional moves cost, as in the decoder.
constexpr double kBranchFreeBits = 2.0;

double order0_bits(const TokenCounts& counts) {
  double total = 0.0;
  for (std::uint32_t c : counts) total += c;
  double bits = 0.0;
  for (std::uint32_t c : counts) {
    if (c != 0) bits += c * std::log2(total / c);
  }
  return bits;
}

// Where fewer than about half the groups are all direct, the branch that lets them skip the
// extra bits mispredicts about as often as it saves the reads (an estimate: a misprediction
// costs about what a group's four reads do), so the plain loop runs.
constexpr double kMostlyDirect = 0.5;

// The share of a context's tokens that are codes of their own (no extra bits).
double direct_share(const Frequencies& frequencies) {
  std::uint32_t direct = 0;
  for (unsigned t = 0; t < kDirectTokens; ++t) direct += frequencies[t];
  return static_cast<double>(direct) / kScale;
}

// Reads the thresholds after the mode byte; `at` ends past them.
PredictiveResult<BaseOfSum> read_contexts(std::span<const std::uint8_t> bytes, unsigned contexts,
                                          std::size_t& at) {
  if (bytes.size() - at < contexts - 1) {
    return std::unexpected(PredictiveError::damaged("code contexts are cut short"));
  }
  const auto thresholds = bytes.subspan(at, contexts - 1);
  at += contexts - 1;
  unsigned last = 0;
  for (std::uint8_t cut : thresholds) {
    if (cut <= last) return std::unexpected(PredictiveError::damaged("code contexts are invalid"));
    last = cut;
  }
  const ContextOfValue context_of = context_of_value(thresholds);
  BaseOfSum base_of;
  for (std::size_t sum = 0; sum < kBaseOfSums; ++sum) {
    base_of[sum] = context_of[std::min<std::size_t>(sum, kContextValues - 1)] * kScale;
  }
  return base_of;
}

}  // namespace

void encode_rans_chunk(std::span<const std::uint64_t> codes, std::vector<std::uint8_t>& out) {
  const std::size_t n = codes.size();
  // Working arrays left uninitialised: every byte read is written first.
  const auto tokens_memory = std::make_unique_for_overwrite<std::uint8_t[]>(n);
  const auto values_memory = std::make_unique_for_overwrite<std::uint8_t[]>(n);
  const auto extras = std::make_unique_for_overwrite<std::uint8_t[]>(8 * n + 8);
  const std::span<std::uint8_t> tokens(tokens_memory.get(), n);
  const std::span<std::uint8_t> values(values_memory.get(), n);
  TokenCounts order0;
  const std::size_t extra_size = tokenise(codes, tokens.data(), values.data(), order0, extras.get());
  const ContextPlan plan = plan_contexts(tokens, values, order0);
  const auto thresholds = std::span(plan.thresholds.data(), plan.count - 1);
  out.push_back(static_cast<std::uint8_t>(kModeRans + plan.count - 1));
  out.insert(out.end(), thresholds.begin(), thresholds.end());
  std::vector<EncodeSymbol> symbols(plan.count * kTokenCount);
  for (unsigned c = 0; c < plan.count; ++c) {
    const Frequencies frequencies = normalise_frequencies(plan.counts[c]);
    write_frequencies(frequencies, out);
    make_encode_symbols(frequencies, symbols.data() + c * kTokenCount);
  }
  put_varint(extra_size, out);
  out.insert(out.end(), extras.get(), extras.get() + extra_size);
  const std::size_t head = out.size();
  const std::size_t stream_room = 2 * n + 18;
  out.resize(head + stream_room);
  std::uint8_t* stream_end = out.data() + out.size();
  const std::uint8_t* stream =
      encode_tokens(tokens, values, context_of_value(thresholds), symbols.data(), stream_end,
                    order0_bits(order0) >= kBranchFreeBits * n);
  const auto stream_size = static_cast<std::size_t>(stream_end - stream);
  std::memmove(out.data() + head, stream, stream_size);
  out.resize(head + stream_size);
}

PredictiveResult<std::size_t> decode_rans_chunk(std::span<const std::uint8_t> bytes,
                                                std::span<std::uint64_t> codes) {
  const unsigned contexts = bytes[0] - kModeRans + 1u;
  std::size_t at = 1;
  const auto base_of = read_contexts(bytes, contexts, at);
  if (!base_of) return std::unexpected(base_of.error());
  std::vector<std::uint32_t> slots(contexts * kScale);
  double all_direct = 0.0;  // per context, the chance that a group's tokens are all direct
  for (unsigned c = 0; c < contexts; ++c) {
    const auto frequencies = read_frequencies(bytes, at);
    if (!frequencies) return std::unexpected(frequencies.error());
    fill_decode_slots(*frequencies, slots.data() + c * kScale);
    all_direct += std::pow(direct_share(*frequencies), kContextGroup);
  }
  const auto extra_size = get_varint(bytes, at, kExtraSizeBytes);
  if (!extra_size || *extra_size > bytes.size() - at) {
    return std::unexpected(PredictiveError::damaged("codes are cut short"));
  }
  const ExtraBits extras{bytes.subspan(at), static_cast<std::size_t>(*extra_size)};
  at += *extra_size;
  const auto stream_size =
      decode_tokens(bytes.subspan(at), slots.data(), contexts > 1 ? &*base_of : nullptr, extras,
                    all_direct >= kMostlyDirect * contexts, codes);
  if (!stream_size) return std::unexpected(stream_size.error());
  return at + *stream_size;
}

}  // namespace tessarine::predictive
