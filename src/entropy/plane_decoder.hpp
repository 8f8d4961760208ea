#pragma once

// Decoding side of the plane coder. The stream decoder steps the low and the high plane in
// turn so that their two serial chains overlap.
//
// A decision needs at most one 16-bit word whenever the state starts it at 2^16 or more, and
// leaves the state at 2^16 or more again: from x >= 2^16 the decoded x is at least
// 16 * freq >= 16 before renormalisation. So a symbol whose cursor starts with x >= 2^16 and
// at least 16 bytes left can be decoded without any bounds check (fast_decision.hpp).
// Otherwise - near the end of the plane, or from a hostile initial state below 2^16 - every
// word is checked and renormalisation repeats until the state is normalised again.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "entropy/plane_model.hpp"

namespace tessarine::arans {

// Where one plane's decoding stands. Plain data, so that hot loops can keep a copy in
// registers and write it back when they stop.
struct PlaneCursor {
  const std::uint8_t* next;  // the next renormalisation word
  const std::uint8_t* end;   // the end of the coded plane
  std::uint16_t* model;      // model_entries(context_bits) probabilities
  std::uint32_t x;
  std::uint32_t previous;
  unsigned context_shift;
};

inline constexpr std::size_t kMaxSymbolBytes = kSymbolBits * sizeof(std::uint16_t);

// The most symbols a coded plane of `coded_bytes` bytes can decode to. Probabilities stay in
// [15, 4081] (plane_model.hpp), so every decision from a state x >= 2^16 takes at least
// 15 * (x >> 12) off x: x shrinks by a factor of at most 1 - 240 / 69632, about 0.005 bits.
// The initial state holds under 32 bits and each word 16, and every decision but the first
// starts normalised, so B bytes give at most 1 + 8B / 0.005 decisions, under 201B symbols.
[[nodiscard]] constexpr std::uint64_t max_plane_symbols(std::size_t coded_bytes) {
  if (coded_bytes < 4) return 0;
  return 256 * std::uint64_t{coded_bytes};
}

// `coded` holds at least 4 bytes; `model` is freshly initialised and outlives the cursor.
[[nodiscard]] PlaneCursor open_plane(std::span<const std::uint8_t> coded, unsigned context_bits,
                                     std::uint16_t* model);

[[nodiscard]] inline bool can_decode_fast(const PlaneCursor& c) {
  return c.x >= kStateLowerBound && static_cast<std::size_t>(c.end - c.next) >= kMaxSymbolBytes;
}

[[nodiscard]] inline std::uint16_t* symbol_context(const PlaneCursor& c) {
  return c.model + ((c.previous >> c.context_shift) << kSymbolBits);
}

// The 16-bit little-endian word at `at`.
[[nodiscard]] inline std::uint32_t load_word(const std::uint8_t* at) {
  std::uint16_t word;
  std::memcpy(&word, at, sizeof word);
  if constexpr (std::endian::native == std::endian::big) word = std::byteswap(word);
  return word;
}

// Decodes one bit at tree position `node`, adapts its probability and advances `node`; the
// state is left unrenormalised.
inline void decide(PlaneCursor& c, std::uint16_t* context, std::uint32_t& node) {
  const std::uint32_t p = context[node];
  const std::uint32_t r = c.x & kProbabilityMask;
  const std::uint32_t bit = r >= p ? 1 : 0;
  // bit 0: x = p * (x >> 12) + r; bit 1: x = (4096 - p) * (x >> 12) + r - p.
  const std::uint32_t freq = bit != 0 ? kProbabilityScale - p : p;
  const std::uint32_t start = bit != 0 ? p : 0;
  c.x = freq * (c.x >> kProbabilityBits) + r - start;
  context[node] = kAdaptedProbability[2 * p + bit];
  node = 2 * node + bit;
}

// A whole symbol, fast or checked as the cursor allows; false when the plane is cut short.
[[nodiscard]] bool decode_symbol(PlaneCursor& c, std::uint8_t& symbol);

}  // namespace tessarine::arans
