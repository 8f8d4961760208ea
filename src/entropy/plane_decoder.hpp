#pragma once

// Decoding side of the plane coder, shaped for speed: a decision is a handful of branch-free
// operations, and the stream decoder steps the low and the high plane in turn so that their
// two serial chains overlap.
//
// A decision needs at most one 16-bit word whenever the state starts it at 2^16 or more, and
// leaves the state at 2^16 or more again: from x >= 2^16 the decoded x is at least
// 16 * freq >= 16 before renormalisation. So a symbol whose cursor starts with x >= 2^16 and
// at least 16 bytes left can be decoded without any bounds check (fast). Otherwise - near
// the end of the plane, or from a hostile initial state below 2^16 - every word is checked
// and renormalisation repeats until the state is normalised again (checked).

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "entropy/conditional_select.hpp"
#include "entropy/plane_model.hpp"

namespace tessarine::arans {

// Where one plane's decoding stands. Plain data, so that hot loops can keep a copy in
// registers and write it back when they stop.
struct PlaneCursor {
  const std::uint8_t* bytes;  // the coded plane
  std::size_t size;           // its length in bytes
  std::size_t word;           // the next word starts at byte 2 * word
  std::uint16_t* model;       // model_entries(context_bits) probabilities
  std::uint32_t x;
  std::uint32_t previous;
  unsigned context_shift;
};

inline constexpr std::size_t kMaxSymbolBytes = kSymbolBits * sizeof(std::uint16_t);

// `coded` holds at least 4 bytes; `model` is freshly initialised and outlives the cursor.
[[nodiscard]] PlaneCursor open_plane(std::span<const std::uint8_t> coded, unsigned context_bits,
                                     std::uint16_t* model);

[[nodiscard]] inline std::size_t bytes_left(const PlaneCursor& c) {
  return c.size - 2 * c.word;  // 2 * word <= size always holds
}

[[nodiscard]] inline bool can_decode_fast(const PlaneCursor& c) {
  return c.x >= kStateLowerBound && bytes_left(c) >= kMaxSymbolBytes;
}

[[nodiscard]] inline std::uint16_t* symbol_context(const PlaneCursor& c) {
  return c.model + ((c.previous >> c.context_shift) << kSymbolBits);
}

// The 16-bit little-endian word at `at`, in one load.
[[nodiscard]] inline std::uint32_t load_word(const std::uint8_t* at) {
  std::uint16_t word;
  std::memcpy(&word, at, sizeof word);
  if constexpr (std::endian::native == std::endian::big) word = std::byteswap(word);
  return word;
}

// Decodes one bit at tree position `node`, adapts its probability and advances `node`; the
// state is left unrenormalised.
[[gnu::always_inline]] inline void decide(PlaneCursor& c, std::uint16_t* context,
                                          std::uint32_t& node) {
  const std::uint32_t p = context[node];
  const std::uint32_t r = c.x & kProbabilityMask;
  // bit 0 (r < p): x = p * (x >> 12) + r; bit 1: x = (4096 - p) * (x >> 12) + r - p, which
  // is x - p * (x >> 12) - p because 4096 * (x >> 12) + r = x.
  const std::uint32_t scaled = p * (c.x >> kProbabilityBits);
  const std::uint32_t if_one = c.x - p - scaled;
  c.x = scaled + r;
  const std::uint32_t bit = choose_if_at_least(r, p, if_one, c.x);
  context[node] = kAdaptedProbability[2 * p + bit];
  node = 2 * node + bit;
}

// One decision of a symbol that started with can_decode_fast().
[[gnu::always_inline]] inline void decide_fast(PlaneCursor& c, std::uint16_t* context,
                                               std::uint32_t& node) {
  decide(c, context, node);
  const std::uint32_t refilled = (c.x << kWordBits) | load_word(c.bytes + 2 * c.word);
  replace_and_count_if_below(c.x, kStateLowerBound, refilled, c.word);
}

[[gnu::always_inline]] inline std::uint8_t finish_symbol(PlaneCursor& c, std::uint32_t node) {
  c.previous = node & 0xFF;
  return static_cast<std::uint8_t>(c.previous);
}

// A whole symbol, fast or checked as the cursor allows; false when the plane is cut short.
[[nodiscard]] bool decode_symbol(PlaneCursor& c, std::uint8_t& symbol);

}  // namespace tessarine::arans
