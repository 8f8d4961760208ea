#include "predictive/rans_coder.hpp"

#include <algorithm>
#include <array>
#include <cstring>

#include "predictive/code_bits.hpp"
#include "predictive/code_tokens.hpp"

namespace tessarine::predictive {
namespace {

__extension__ typedef unsigned __int128 Product;

constexpr unsigned kLanes = 4;
static_assert(kLanes == kContextGroup);
constexpr std::uint32_t kSlotMask = kScale - 1;

// `below` when value < limit, else `otherwise`, without a branch: a lane's renormalisation is
// close to a coin toss once tokens carry a few bits, and the compiler turns a condition (and
// even a mask's arithmetic) into branches or longer code, which made the code decoder 8% slower
// on recordings.
inline std::uint64_t select_below(std::uint64_t value, std::uint64_t limit, std::uint64_t below,
                                  std::uint64_t otherwise) {
#if defined(__GNUC__) && defined(__x86_64__) && !defined(TESSARINE_PORTABLE_CODER)
  asm("cmpq %[limit], %[value]\n\tcmovbq %[below], %[otherwise]"
      : [otherwise] "+r"(otherwise)
      : [value] "r"(value), [limit] "er"(limit), [below] "r"(below)
      : "cc");
  return otherwise;
#else
  return value < limit ? below : otherwise;
#endif
}

// Writes the 16-bit word unconditionally (there is room below) and keeps it when x is too big
// for the symbol. kBranchFree: conditional moves, for tokens that renormalise often; where they
// seldom do, the branches predict and cost less.
template <bool kBranchFree>
inline void encode_step(std::uint32_t& x, const EncodeSymbol& s, std::uint8_t*& at) {
  const bool renormalise = x >= s.x_max;
  const auto word = static_cast<std::uint16_t>(x);
  std::memcpy(at - 2, &word, 2);
  if constexpr (kBranchFree) {
    at -= 2 * static_cast<std::ptrdiff_t>(renormalise);
    x = static_cast<std::uint32_t>(select_below(x, s.x_max, x, x >> 16));
  } else {
    at -= renormalise ? 2 : 0;
    x = renormalise ? x >> 16 : x;
  }
  const auto q = static_cast<std::uint64_t>((Product{x} * s.reciprocal) >> 64);
  x = static_cast<std::uint32_t>(x + s.bias + q * s.complement);  // (x/f)*kScale + x%f + c
}

std::uint32_t load_u32(const std::uint8_t* at) {
  return std::uint32_t{at[0]} | std::uint32_t{at[1]} << 8 | std::uint32_t{at[2]} << 16 |
         std::uint32_t{at[3]} << 24;
}

// One token off state x with its context's slots; returns the token.
inline std::uint32_t decode_state(std::uint32_t& x, const std::uint32_t* context) {
  const std::uint32_t e = context[x & kSlotMask];
  const std::uint32_t f = e & kSlotFrequencyMask;
  x = f * (x >> kScaleBits) + ((e >> kSlotOffsetShift) & kSlotMask);  // f * (x >> kScaleBits) + slot - c
  return e >> kSlotTokenShift;
}

// Needs two readable bytes at `at`.
inline void refill_fast(std::uint32_t& x, const std::uint8_t*& at) {
  const std::uint32_t word = std::uint32_t{at[0]} | std::uint32_t{at[1]} << 8;
  const bool renormalise = x < kRansLow;
  x = renormalise ? (x << 16) | word : x;
  at += renormalise ? 2 : 0;
}

inline std::uint32_t refilled(std::uint32_t x, const std::uint8_t* at) {
  std::uint16_t word;
  std::memcpy(&word, at, 2);
  return static_cast<std::uint32_t>(select_below(x, kRansLow, (x << 16) | word, x));
}

// The four lanes' refills: each lane's word sits 2 bytes past the previous lane's when that one
// refills, so the offsets are a prefix sum of the four conditions and no lane's load waits on
// another's.
inline void refill_group(std::uint32_t& x0, std::uint32_t& x1, std::uint32_t& x2, std::uint32_t& x3,
                         const std::uint8_t*& at) {
  const std::uint32_t n0 = x0 < kRansLow, n1 = x1 < kRansLow, n2 = x2 < kRansLow,
                      n3 = x3 < kRansLow;
  const std::uint32_t o1 = 2 * n0, o2 = o1 + 2 * n1, o3 = o2 + 2 * n2;
  x0 = refilled(x0, at);
  x1 = refilled(x1, at + o1);
  x2 = refilled(x2, at + o2);
  x3 = refilled(x3, at + o3);
  at += o3 + 2 * n3;
}

struct DecodeState {
  std::array<std::uint32_t, kLanes> x;
  const std::uint8_t* at;
  std::uint32_t base = 0;     // of the group at `done`
  std::size_t done = 0;       // a multiple of kLanes until the tail
  std::uint64_t position = 0;  // in the extra bits
};

// Token t's code with its extra bits at bit `position` of `extras`, which has at least 16
// readable bytes from position / 8 on. One unaligned load (two beyond 56 bits): the only chain
// from code to code is the position.
inline std::uint64_t code_of(std::uint32_t t, const std::uint8_t* extras, std::uint64_t& position) {
  const unsigned n = kTokenTraits.extra[t];
  std::uint64_t word;
  std::memcpy(&word, extras + position / 8, 8);
  std::uint64_t value = word >> (position & 7);  // at least 57 valid bits
  if (n > 56) [[unlikely]] {
    std::uint64_t high;
    std::memcpy(&high, extras + position / 8 + 7, 8);
    value = (value & ((std::uint64_t{1} << 56) - 1)) | (high >> (position & 7)) << 56;
  }
  position += n;
  return kTokenTraits.base[t] | (value & kTokenTraits.mask[t]);
}

// Bytes a group may read from the extra bits: four codes of up to 61 bits, then a word.
constexpr std::uint64_t kGroupExtraReach = 48;
// What a group moves the extra bits' byte position by, at most (4 * 61 bits, rounded up so
// that the byte the position starts in is covered as well).
constexpr std::uint64_t kGroupExtraStep = 32;

// How many whole groups from here surely have four words and can read the extra bits in words,
// so that the loop over them checks nothing but its count.
std::size_t safe_groups(std::size_t left, std::ptrdiff_t words_left, std::uint64_t position,
                        std::uint64_t reach) {
  const std::size_t by_count = left / kLanes;
  const std::size_t by_words =
      words_left < 0 ? 0 : static_cast<std::size_t>(words_left) / (2 * kLanes);
  const std::uint64_t needed = position / 8 + kGroupExtraReach;
  const std::size_t by_extras =
      needed > reach ? 0 : static_cast<std::size_t>((reach - needed) / kGroupExtraStep + 1);
  return std::min({by_count, by_words, by_extras});
}

// Whole groups while four words are surely there and the extra bits can be read in words, so
// neither needs a check. A group's four lookups are independent; only the next group's context
// waits on them.
// kDirectFirst: a group whose four tokens are all codes of their own (the usual case at loose
// bounds) skips the extra-bit reads behind one well-predicted branch.
// kBranchFree: refills by conditional moves, for streams whose lanes refill often enough that
// a branch per lane mispredicts; where refills are rare, the branches cost less.
template <bool kContexts, bool kDirectFirst, bool kBranchFree>
void decode_fast(DecodeState& d, const std::uint8_t* end, const std::uint32_t* slots,
                 const BaseOfSum* base_of, std::span<const std::uint8_t> extras,
                 std::span<std::uint64_t> out) {
  std::uint32_t x0 = d.x[0], x1 = d.x[1], x2 = d.x[2], x3 = d.x[3];
  const std::uint32_t* context = slots + d.base;  // the group's context's slots
  const std::uint8_t* at = d.at;
  std::uint64_t position = d.position;
  const std::uint8_t* bits = extras.data();
  std::uint64_t* o = out.data() + d.done;
  for (std::size_t groups;
       (groups = safe_groups(out.size() - static_cast<std::size_t>(o - out.data()), end - at,
                             position, extras.size())) != 0;) {
    for (; groups != 0; --groups, o += kLanes) {
      const std::uint32_t t0 = decode_state(x0, context);
      const std::uint32_t t1 = decode_state(x1, context);
      const std::uint32_t t2 = decode_state(x2, context);
      const std::uint32_t t3 = decode_state(x3, context);
      if (kContexts) context = slots + (*base_of)[(t0 + t1) + (t2 + t3)];
      if (kDirectFirst && (t0 | t1 | t2 | t3) < kDirectTokens) [[likely]] {
        o[0] = t0;
        o[1] = t1;
        o[2] = t2;
        o[3] = t3;
      } else {
        o[0] = code_of(t0, bits, position);
        o[1] = code_of(t1, bits, position);
        o[2] = code_of(t2, bits, position);
        o[3] = code_of(t3, bits, position);
      }
      if constexpr (kBranchFree) {
        refill_group(x0, x1, x2, x3, at);
      } else {
        refill_fast(x0, at);
        refill_fast(x1, at);
        refill_fast(x2, at);
        refill_fast(x3, at);
      }
    }
  }
  d.x = {x0, x1, x2, x3};
  d.base = static_cast<std::uint32_t>(context - slots);
  d.at = at;
  d.done = static_cast<std::size_t>(o - out.data());
  d.position = position;
}

// decode_fast over extra bits that begin at byte `extras_from` of the chunk's.
template <bool kContexts, bool kDirectFirst, bool kBranchFree>
void decode_fast_from(DecodeState& d, const std::uint8_t* end, const std::uint32_t* slots,
                      const BaseOfSum* base_of, std::span<const std::uint8_t> extras,
                      std::span<std::uint64_t> codes, std::uint64_t extras_from) {
  d.position -= 8 * extras_from;
  decode_fast<kContexts, kDirectFirst, kBranchFree>(d, end, slots, base_of, extras, codes);
  d.position += 8 * extras_from;
}

using FastLoop = void (*)(DecodeState&, const std::uint8_t*, const std::uint32_t*, const BaseOfSum*,
                          std::span<const std::uint8_t>, std::span<std::uint64_t>, std::uint64_t);

// Which loop decodes a chunk's whole groups.
struct LoopChoice {
  bool contexts;
  bool mostly_direct;
  bool branch_free;
};

template <bool kContexts, bool kDirectFirst>
FastLoop fast_loop(bool branch_free) {
  return branch_free ? decode_fast_from<kContexts, kDirectFirst, true>
                     : decode_fast_from<kContexts, kDirectFirst, false>;
}

FastLoop fast_loop(const LoopChoice& c) {
  if (c.contexts)
    return c.mostly_direct ? fast_loop<true, true>(c.branch_free)
                           : fast_loop<true, false>(c.branch_free);
  return c.mostly_direct ? fast_loop<false, true>(c.branch_free)
                         : fast_loop<false, false>(c.branch_free);
}

// Zero-padded copies of the last bytes of the token stream and of the extra bits.
struct PaddedEnds {
  static constexpr std::size_t kTokenPad = 2 * kLanes;
  static constexpr std::size_t kExtrasPad = kGroupExtraReach + 16;
  std::array<std::uint8_t, 2 * kTokenPad> tokens{};
  std::array<std::uint8_t, 2 * kExtrasPad> extras{};
};

// Runs the word-at-a-time loop to the last whole group: where either stream has too few bytes
// left for it, it goes on over a zero-padded copy of them (small data ends there after a
// few bytes of extra bits, often thousands of codes before the end). A damaged stream that
// reads into the padding is cut short, which the checks that follow report.
void decode_padded(DecodeState& d, const std::uint8_t* end, const std::uint32_t* slots,
                   const BaseOfSum* base_of, const ExtraBits& extras, const LoopChoice& choice,
                   std::span<std::uint64_t> codes) {
  const FastLoop run = fast_loop(choice);
  run(d, end, slots, base_of, extras.readable, codes, 0);
  PaddedEnds padded;
  const std::uint8_t* token_end = end;
  const std::uint8_t* token_copy = nullptr;  // where the padded copy of the tokens begins
  std::span<const std::uint8_t> extra_bits = extras.readable;
  std::uint64_t extras_from = 0;
  for (bool copied_tokens = false, copied_extras = false; d.done + kLanes <= codes.size();) {
    const bool tokens_short =
        !copied_tokens && token_end - d.at < 2 * static_cast<std::ptrdiff_t>(kLanes);
    const std::uint64_t extras_at = d.position / 8;
    const bool extras_short =
        !copied_extras && extras_at + kGroupExtraReach > extras.readable.size() &&
        extras_at <= extras.size && extras.size - extras_at <= PaddedEnds::kExtrasPad;
    if (!tokens_short && !extras_short) break;
    if (tokens_short) {
      const auto left = static_cast<std::size_t>(end - d.at);
      std::memcpy(padded.tokens.data(), d.at, left);
      token_copy = d.at;
      d.at = padded.tokens.data();
      token_end = d.at + left + PaddedEnds::kTokenPad;
      copied_tokens = true;
    }
    if (extras_short) {
      const std::size_t left = extras.size - extras_at;
      std::memcpy(padded.extras.data(), extras.readable.data() + extras_at, left);
      extra_bits = std::span<const std::uint8_t>(padded.extras.data(), left + kGroupExtraReach);
      extras_from = extras_at;
      copied_extras = true;
    }
    run(d, token_end, slots, base_of, extra_bits, codes, extras_from);
  }
  if (token_copy != nullptr) d.at = token_copy + (d.at - padded.tokens.data());
}

// The rest one token at a time, with checked refills; tokens are left in `codes` for
// finish_codes.
PredictiveResult<void> decode_tail(DecodeState& d, const std::uint8_t* end, const std::uint32_t* slots,
                                   const BaseOfSum* base_of, std::span<std::uint64_t> codes) {
  std::uint64_t* t = codes.data();
  for (std::size_t i = d.done; i < codes.size(); ++i) {
    std::uint32_t& x = d.x[i % kLanes];
    t[i] = decode_state(x, slots + d.base);
    if (x < kRansLow) {
      if (end - d.at < 2) return std::unexpected(PredictiveError::damaged("codes are cut short"));
      refill_fast(x, d.at);
    }
    if (base_of != nullptr && i % kLanes == kLanes - 1) {
      const std::uint64_t* group = t + i - (kLanes - 1);
      d.base = (*base_of)[(group[0] + group[1]) + (group[2] + group[3])];
    }
  }
  return {};
}

// Adds the extra bits to the tail's tokens from d.position on; checks that the codes used
// exactly the extra bytes.
PredictiveResult<void> finish_codes(const DecodeState& d, const ExtraBits& extras,
                                    std::span<std::uint64_t> codes) {
  const auto cut_short = std::unexpected(PredictiveError::damaged("codes are cut short"));
  if (d.position > 8 * std::uint64_t{extras.size}) return cut_short;
  BitReader bits(extras.readable.subspan(d.position / 8, extras.size - d.position / 8));
  bits.get(d.position & 7);
  for (std::size_t i = d.done; i < codes.size(); ++i) {
    const auto token = static_cast<unsigned>(codes[i]);
    codes[i] = kTokenTraits.base[token] | bits.get(kTokenTraits.extra[token]);
  }
  if (bits.overran()) return cut_short;
  if (d.position / 8 + bits.bytes_used() != extras.size) {
    return std::unexpected(PredictiveError::damaged("code stream is invalid"));
  }
  return {};
}

}  // namespace

namespace {

template <bool kBranchFree>
std::uint8_t* encode_tokens_with(std::span<const std::uint8_t> tokens,
                                 std::span<const std::uint8_t> values,
                                 const ContextOfValue& context_of, const EncodeSymbol* symbols,
                                 std::uint8_t* end) {
  std::array<std::uint32_t, kContextValues> base_of{};
  for (unsigned v = 0; v < kContextValues; ++v) base_of[v] = context_of[v] * kTokenCount;
  const std::size_t n = tokens.size();
  const std::uint8_t* token = tokens.data();
  const std::uint8_t* value = values.data();
  std::uint8_t* at = end;
  std::array<std::uint32_t, kLanes> x{kRansLow, kRansLow, kRansLow, kRansLow};
  std::size_t i = n;
  for (; i % kLanes != 0; --i) {
    encode_step<kBranchFree>(x[(i - 1) % kLanes], symbols[base_of[value[i - 1]] + token[i - 1]],
                             at);
  }
  std::uint32_t x0 = x[0], x1 = x[1], x2 = x[2], x3 = x[3];
  for (; i != 0; i -= kLanes) {
    encode_step<kBranchFree>(x3, symbols[base_of[value[i - 1]] + token[i - 1]], at);
    encode_step<kBranchFree>(x2, symbols[base_of[value[i - 2]] + token[i - 2]], at);
    encode_step<kBranchFree>(x1, symbols[base_of[value[i - 3]] + token[i - 3]], at);
    encode_step<kBranchFree>(x0, symbols[base_of[value[i - 4]] + token[i - 4]], at);
  }
  x = {x0, x1, x2, x3};
  for (std::size_t lane = std::min<std::size_t>(n, kLanes); lane-- > 0;) {
    at -= 4;
    for (unsigned b = 0; b < 4; ++b) at[b] = static_cast<std::uint8_t>(x[lane] >> (8 * b));
  }
  return at;
}

}  // namespace

std::uint8_t* encode_tokens(std::span<const std::uint8_t> tokens,
                            std::span<const std::uint8_t> values, const ContextOfValue& context_of,
                            const EncodeSymbol* symbols, std::uint8_t* end, bool branch_free) {
  return branch_free ? encode_tokens_with<true>(tokens, values, context_of, symbols, end)
                     : encode_tokens_with<false>(tokens, values, context_of, symbols, end);
}

PredictiveResult<std::size_t> decode_tokens(std::span<const std::uint8_t> bytes,
                                            const std::uint32_t* slots, const BaseOfSum* base_of,
                                            const ExtraBits& extras, bool mostly_direct,
                                            std::span<std::uint64_t> codes) {
  const auto invalid = std::unexpected(PredictiveError::damaged("code stream is invalid"));
  const std::size_t lanes = std::min<std::size_t>(codes.size(), kLanes);
  if (bytes.size() < 4 * lanes) return std::unexpected(PredictiveError::damaged("codes are cut short"));
  DecodeState d{{kRansLow, kRansLow, kRansLow, kRansLow}, bytes.data() + 4 * lanes};
  for (std::size_t lane = 0; lane < lanes; ++lane) {
    d.x[lane] = load_u32(bytes.data() + 4 * lane);
    if (d.x[lane] < kRansLow) return invalid;
  }
  const std::uint8_t* end = bytes.data() + bytes.size();
  // A lane refills about once per 16 bits it codes: from 2 bits a token on (measured on the
  // recordings at every bound) the branches cost more than the conditional moves.
  constexpr std::size_t kBranchFreeBits = 2;
  const bool branch_free = 8 * bytes.size() >= kBranchFreeBits * codes.size();
  decode_padded(d, end, slots, base_of, extras, {base_of != nullptr, mostly_direct, branch_free},
                codes);
  const auto tail = decode_tail(d, end, slots, base_of, codes);
  if (!tail) return std::unexpected(tail.error());
  if (d.at > end) return std::unexpected(PredictiveError::damaged("codes are cut short"));
  const auto finished = finish_codes(d, extras, codes);
  if (!finished) return std::unexpected(finished.error());
  for (std::uint32_t x : d.x) {
    if (x != kRansLow) return invalid;
  }
  return static_cast<std::size_t>(d.at - bytes.data());
}

}  // namespace tessarine::predictive
