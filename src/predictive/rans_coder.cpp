#include "predictive/rans_coder.hpp"

#include <algorithm>
#include <array>
#include <cstring>

namespace tessarine::predictive {
namespace {

__extension__ typedef unsigned __int128 Product;

constexpr unsigned kLanes = 4;
constexpr std::uint32_t kSlotMask = kScale - 1;

// Writes the 16-bit word unconditionally (there is room below) and keeps it when x is too big
// for the symbol: branch-free, as the outcome is close to a coin toss.
inline void encode_step(std::uint32_t& x, const EncodeSymbol& s, std::uint8_t*& at) {
  const bool renormalise = x >= s.x_max;
  const auto word = static_cast<std::uint16_t>(x);
  std::memcpy(at - 2, &word, 2);
  at -= renormalise ? 2 : 0;
  x = renormalise ? x >> 16 : x;
  const auto q = static_cast<std::uint64_t>((Product{x} * s.reciprocal) >> 64);
  x = static_cast<std::uint32_t>(x + s.bias + q * s.complement);  // (x/f)*kScale + x%f + c
}

std::uint32_t load_u32(const std::uint8_t* at) {
  return std::uint32_t{at[0]} | std::uint32_t{at[1]} << 8 | std::uint32_t{at[2]} << 16 |
         std::uint32_t{at[3]} << 24;
}

// One token off state x, in the context starting at slot `base`; returns the slot index and
// moves `base` to the next token's context. With one context `base` stays 0, and the lanes do
// not wait on each other.
template <bool kContexts>
inline std::uint32_t decode_state(std::uint32_t& x, std::uint32_t& base, const std::uint32_t* slots) {
  const std::uint32_t index = base + (x & kSlotMask);
  const std::uint32_t e = slots[index];
  const std::uint32_t f = (e & kSlotMask) + 1;
  x = f * (x >> kScaleBits) + ((e >> kSlotOffsetShift) & kSlotMask);  // f * (x >> kScaleBits) + slot - c
  if (kContexts) base = (e >> kSlotContextShift) << kScaleBits;
  return index;
}

// Needs two readable bytes at `at`.
inline void refill_fast(std::uint32_t& x, const std::uint8_t*& at) {
  const std::uint32_t word = std::uint32_t{at[0]} | std::uint32_t{at[1]} << 8;
  const bool renormalise = x < kRansLow;
  x = renormalise ? (x << 16) | word : x;
  at += renormalise ? 2 : 0;
}

struct DecodeState {
  std::array<std::uint32_t, kLanes> x;
  const std::uint8_t* at;
  std::uint32_t base = 0;
  std::size_t done = 0;
};

// Runs while four words are surely there, so the refills need no checks.
template <bool kContexts>
void decode_fast(DecodeState& d, const std::uint8_t* end, const std::uint32_t* slots,
                 std::span<std::uint64_t> out) {
  std::uint32_t x0 = d.x[0], x1 = d.x[1], x2 = d.x[2], x3 = d.x[3];
  std::uint32_t base = d.base;
  const std::uint8_t* at = d.at;
  std::size_t i = d.done;
  const std::size_t n = out.size();
  auto step = [&](std::uint32_t& x, std::size_t k) {
    out[k] = decode_state<kContexts>(x, base, slots);
    refill_fast(x, at);
  };
  for (; i + kLanes <= n && end - at >= 2 * static_cast<std::ptrdiff_t>(kLanes); i += kLanes) {
    step(x0, i);
    step(x1, i + 1);
    step(x2, i + 2);
    step(x3, i + 3);
  }
  d.x = {x0, x1, x2, x3};
  d.base = base;
  d.at = at;
  d.done = i;
}

}  // namespace

std::uint8_t* encode_tokens(std::span<const std::uint8_t> history,
                            const ContextOfToken& context_of, const EncodeSymbol* symbols,
                            std::uint8_t* end) {
  std::array<std::uint32_t, kTokenCount> base_of{};
  for (unsigned t = 0; t < kTokenCount; ++t) base_of[t] = context_of[t] * kTokenCount;
  const std::size_t n = history.size() - 1;
  const std::uint8_t* previous = history.data();  // previous[i] precedes token i
  const std::uint8_t* token = history.data() + 1;
  std::uint8_t* at = end;
  std::array<std::uint32_t, kLanes> x{kRansLow, kRansLow, kRansLow, kRansLow};
  std::size_t i = n;
  for (; i % kLanes != 0; --i) {
    encode_step(x[(i - 1) % kLanes], symbols[base_of[previous[i - 1]] + token[i - 1]], at);
  }
  std::uint32_t x0 = x[0], x1 = x[1], x2 = x[2], x3 = x[3];
  for (; i != 0; i -= kLanes) {
    encode_step(x3, symbols[base_of[previous[i - 1]] + token[i - 1]], at);
    encode_step(x2, symbols[base_of[previous[i - 2]] + token[i - 2]], at);
    encode_step(x1, symbols[base_of[previous[i - 3]] + token[i - 3]], at);
    encode_step(x0, symbols[base_of[previous[i - 4]] + token[i - 4]], at);
  }
  x = {x0, x1, x2, x3};
  for (std::size_t lane = std::min<std::size_t>(n, kLanes); lane-- > 0;) {
    at -= 4;
    for (unsigned b = 0; b < 4; ++b) at[b] = static_cast<std::uint8_t>(x[lane] >> (8 * b));
  }
  return at;
}

PredictiveResult<std::size_t> decode_tokens(std::span<const std::uint8_t> bytes,
                                            const std::uint32_t* slots, bool contexts,
                                            std::span<std::uint64_t> slot_of_token) {
  const auto cut_short = std::unexpected(PredictiveError::damaged("codes are cut short"));
  const auto invalid = std::unexpected(PredictiveError::damaged("code stream is invalid"));
  const std::size_t lanes = std::min<std::size_t>(slot_of_token.size(), kLanes);
  if (bytes.size() < 4 * lanes) return cut_short;
  DecodeState d{{kRansLow, kRansLow, kRansLow, kRansLow}, bytes.data() + 4 * lanes};
  for (std::size_t lane = 0; lane < lanes; ++lane) {
    d.x[lane] = load_u32(bytes.data() + 4 * lane);
    if (d.x[lane] < kRansLow) return invalid;
  }
  const std::uint8_t* end = bytes.data() + bytes.size();
  if (contexts) {
    decode_fast<true>(d, end, slots, slot_of_token);
  } else {
    decode_fast<false>(d, end, slots, slot_of_token);
  }
  for (; d.done < slot_of_token.size(); ++d.done) {
    std::uint32_t& x = d.x[d.done % kLanes];
    slot_of_token[d.done] = decode_state<true>(x, d.base, slots);
    if (x < kRansLow) {
      if (end - d.at < 2) return cut_short;
      refill_fast(x, d.at);
    }
  }
  for (std::uint32_t x : d.x) {
    if (x != kRansLow) return invalid;
  }
  return static_cast<std::size_t>(d.at - bytes.data());
}

}  // namespace tessarine::predictive
