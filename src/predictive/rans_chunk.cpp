#include "predictive/rans_chunk.hpp"

#include <array>
#include <cstring>

#include "predictive/code_bits.hpp"
#include "predictive/code_modes.hpp"
#include "predictive/code_tokens.hpp"
#include "predictive/rans_coder.hpp"

namespace tessarine::predictive {
namespace {

static_assert(kModeRansLast - kModeRans + 1 == kMaxContexts);

struct TokenTraits {
  std::array<std::uint64_t, kTokenCount> base;
  std::array<std::uint8_t, kTokenCount> extra;
};

constexpr TokenTraits kTraits = [] {
  TokenTraits traits{};
  for (unsigned t = 0; t < kTokenCount; ++t) {
    traits.base[t] = base_of_token(t);
    traits.extra[t] = static_cast<std::uint8_t>(extra_bits_of_token(t));
  }
  return traits;
}();

// Fills history[1..n] with the tokens (history[0] = 0 precedes the first) and counts them;
// returns the number of extra bits. Four interleaved counters keep runs of one token from
// waiting on each other's stores.
std::uint64_t tokenise(std::span<const std::uint64_t> codes, std::span<std::uint8_t> history,
                       TokenCounts& counts) {
  std::array<TokenCounts, 4> lanes{};
  std::uint64_t extra = 0;
  history[0] = 0;
  auto count = [&](std::size_t i, TokenCounts& lane) {
    const std::uint8_t t = token_of(codes[i]);
    history[i + 1] = t;
    lane[t] += 1;
    extra += kTraits.extra[t];
  };
  const std::size_t n = codes.size();
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    count(i, lanes[0]);
    count(i + 1, lanes[1]);
    count(i + 2, lanes[2]);
    count(i + 3, lanes[3]);
  }
  for (; i < n; ++i) count(i, lanes[0]);
  for (unsigned t = 0; t < kTokenCount; ++t) {
    counts[t] = lanes[0][t] + lanes[1][t] + lanes[2][t] + lanes[3][t];
  }
  return extra;
}

std::size_t write_extra_bits(std::span<const std::uint64_t> codes, const std::uint8_t* tokens,
                             std::uint8_t* out) {
  BitWriter bits(out);
  for (std::size_t i = 0; i < codes.size(); ++i) {
    const unsigned n = kTraits.extra[tokens[i]];
    bits.put(codes[i] & ((std::uint64_t{1} << n) - 1), n);
  }
  return bits.finish();
}

// Reads the thresholds after the mode byte; `at` ends past them.
PredictiveResult<ContextOfToken> read_contexts(std::span<const std::uint8_t> bytes,
                                               unsigned contexts, std::size_t& at) {
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
  return context_of_previous(thresholds);
}

}  // namespace

void encode_rans_chunk(std::span<const std::uint64_t> codes, std::vector<std::uint8_t>& out) {
  const std::size_t n = codes.size();
  std::vector<std::uint8_t> history(n + 1);
  TokenCounts order0;
  const std::uint64_t extra_bits = tokenise(codes, history, order0);
  const ContextPlan plan = plan_contexts(std::span(history).subspan(1), order0);
  const auto thresholds = std::span(plan.thresholds.data(), plan.count - 1);
  out.push_back(static_cast<std::uint8_t>(kModeRans + plan.count - 1));
  out.insert(out.end(), thresholds.begin(), thresholds.end());
  std::vector<EncodeSymbol> symbols(plan.count * kTokenCount);
  for (unsigned c = 0; c < plan.count; ++c) {
    const Frequencies frequencies = normalise_frequencies(plan.counts[c]);
    write_frequencies(frequencies, out);
    make_encode_symbols(frequencies, symbols.data() + c * kTokenCount);
  }
  const std::size_t head = out.size();
  const std::size_t stream_room = 2 * n + 18;
  out.resize(head + stream_room + static_cast<std::size_t>((extra_bits + 7) / 8) + 8);
  std::uint8_t* stream_end = out.data() + head + stream_room;
  const std::uint8_t* stream =
      encode_tokens(history, context_of_previous(thresholds), symbols.data(), stream_end);
  const auto stream_size = static_cast<std::size_t>(stream_end - stream);
  std::memmove(out.data() + head, stream, stream_size);
  const std::size_t extra_size =
      write_extra_bits(codes, history.data() + 1, out.data() + head + stream_size);
  out.resize(head + stream_size + extra_size);
}

PredictiveResult<std::size_t> decode_rans_chunk(std::span<const std::uint8_t> bytes,
                                                std::span<std::uint64_t> codes) {
  const unsigned contexts = bytes[0] - kModeRans + 1u;
  std::size_t at = 1;
  const auto context_of = read_contexts(bytes, contexts, at);
  if (!context_of) return std::unexpected(context_of.error());
  std::vector<std::uint32_t> slots(contexts * kScale);
  std::vector<std::uint8_t> token_of_slot(contexts * kScale);
  for (unsigned c = 0; c < contexts; ++c) {
    const auto frequencies = read_frequencies(bytes, at);
    if (!frequencies) return std::unexpected(frequencies.error());
    fill_decode_slots(*frequencies, *context_of, slots.data() + c * kScale,
                      token_of_slot.data() + c * kScale);
  }
  const auto stream_size = decode_tokens(bytes.subspan(at), slots.data(), contexts > 1, codes);
  if (!stream_size) return std::unexpected(stream_size.error());
  at += *stream_size;
  BitReader bits(bytes.subspan(at));
  for (std::uint64_t& code : codes) {
    const unsigned token = token_of_slot[code];
    code = kTraits.base[token] | bits.get(kTraits.extra[token]);
  }
  if (bits.overran()) return std::unexpected(PredictiveError::damaged("codes are cut short"));
  return at + bits.bytes_used();
}

}  // namespace tessarine::predictive
