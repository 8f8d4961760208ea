#include "predictive/rans_chunk.hpp"

#include <algorithm>
#include <array>
#include <cstring>
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

// One pass over the codes: fills `tokens`, counts them, and writes their extra bits to
// `extras` (room for 8 bytes per code and 8 more); returns the extra bytes. Four interleaved
// counters keep runs of one token from waiting on each other's stores.
std::size_t tokenise(std::span<const std::uint64_t> codes, std::uint8_t* tokens, TokenCounts& counts,
                     std::uint8_t* extras) {
  std::array<TokenCounts, 4> lanes{};
  BitWriter bits(extras);
  auto count = [&](std::size_t i, TokenCounts& lane) {
    const std::uint64_t code = codes[i];
    const std::uint8_t t = token_of(code);
    tokens[i] = t;
    lane[t] += 1;
    const unsigned n = kTokenTraits.extra[t];
    bits.put(code & ((std::uint64_t{1} << n) - 1), n);
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
  return bits.finish();
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
  const std::size_t extra_size = tokenise(codes, tokens.data(), order0, extras.get());
  context_values(tokens, values);
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
      encode_tokens(tokens, values, context_of_value(thresholds), symbols.data(), stream_end);
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
  for (unsigned c = 0; c < contexts; ++c) {
    const auto frequencies = read_frequencies(bytes, at);
    if (!frequencies) return std::unexpected(frequencies.error());
    fill_decode_slots(*frequencies, slots.data() + c * kScale);
  }
  const auto extra_size = get_varint(bytes, at, kExtraSizeBytes);
  if (!extra_size || *extra_size > bytes.size() - at) {
    return std::unexpected(PredictiveError::damaged("codes are cut short"));
  }
  const ExtraBits extras{bytes.subspan(at), static_cast<std::size_t>(*extra_size)};
  at += *extra_size;
  const auto stream_size =
      decode_tokens(bytes.subspan(at), slots.data(), contexts > 1 ? &*base_of : nullptr, extras, codes);
  if (!stream_size) return std::unexpected(stream_size.error());
  return at + *stream_size;
}

}  // namespace tessarine::predictive
