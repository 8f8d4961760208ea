#pragma once

// Binarisation of a code into a token (entropy coded) and raw extra bits (stored as they are).
// Codes below 16 are their own token. A larger code with its top bit at position b (4..63) gets
// token 16 + 4 * (b - 4) + m, where m is the two bits below the top bit; its b - 2 bits below
// those are the extra bits. So 256 tokens cover every 64-bit code, and a token's extra bits
// carry at most 61 bits.

#include <array>
#include <bit>
#include <cstdint>

namespace tessarine::predictive {

inline constexpr unsigned kTokenCount = 256;
inline constexpr unsigned kDirectTokens = 16;

// Computed for both kinds and then selected, without a branch: whether a code is below 16 is
// close to a coin toss on typical codes.
[[nodiscard]] constexpr std::uint8_t token_of(std::uint64_t code) {
  const unsigned top = static_cast<unsigned>(std::bit_width(code | 1)) - 1;
  const unsigned shift = top >= 2 ? top - 2 : 0;
  // 16 + 4 * (top - 4) + m, with code >> shift = 4 + m
  const unsigned large = 4 * top - 4 + static_cast<unsigned>(code >> shift);
  return static_cast<std::uint8_t>(code < kDirectTokens ? static_cast<unsigned>(code) : large);
}

[[nodiscard]] constexpr unsigned extra_bits_of_token(unsigned token) {
  return token < kDirectTokens ? 0 : (token - kDirectTokens) / 4 + 2;
}

// The smallest code of a token: its extra bits are added below.
[[nodiscard]] constexpr std::uint64_t base_of_token(unsigned token) {
  if (token < kDirectTokens) return token;
  const unsigned extra = extra_bits_of_token(token);
  return std::uint64_t{4 | (token & 3u)} << extra;
}

// Per token: its base, the number of its extra bits and the mask that keeps them (a load in
// the coding loops instead of a shift, a subtraction and a register move).
struct TokenTraits {
  std::array<std::uint64_t, kTokenCount> base;
  std::array<std::uint64_t, kTokenCount> mask;
  std::array<std::uint8_t, kTokenCount> extra;
};

inline constexpr TokenTraits kTokenTraits = [] {
  TokenTraits traits{};
  for (unsigned t = 0; t < kTokenCount; ++t) {
    traits.base[t] = base_of_token(t);
    traits.extra[t] = static_cast<std::uint8_t>(extra_bits_of_token(t));
    traits.mask[t] = (std::uint64_t{1} << traits.extra[t]) - 1;
  }
  return traits;
}();

}  // namespace tessarine::predictive
