#pragma once

// Fixed-point base-2 logarithms (16 fraction bits) for the encoder's size estimates. Integer
// arithmetic only, so every build on every processor makes the same choices and writes the
// same bytes.

#include <array>
#include <bit>
#include <cstdint>

namespace tessarine::predictive {

inline constexpr unsigned kLog2Fraction = 16;

// log2(v) * 2^16 for 1 <= v < 2^32, by repeated squaring of the mantissa (one bit a step).
[[nodiscard]] constexpr std::uint32_t log2_fixed_exact(std::uint32_t v) {
  const unsigned whole = static_cast<unsigned>(std::bit_width(v)) - 1;
  std::uint64_t mantissa = std::uint64_t{v} << (31 - whole);  // in [1, 2) with 31 fraction bits
  std::uint32_t fraction = 0;
  for (unsigned bit = 0; bit < kLog2Fraction; ++bit) {
    mantissa = (mantissa * mantissa) >> 31;
    fraction <<= 1;
    if (mantissa >= (std::uint64_t{1} << 32)) {
      fraction |= 1;
      mantissa >>= 1;
    }
  }
  return (whole << kLog2Fraction) | fraction;
}

inline constexpr unsigned kLog2TableBits = 12;

inline constexpr auto kLog2Table = [] {
  std::array<std::uint32_t, (1u << kLog2TableBits) + 1> table{};
  for (std::uint32_t v = 1; v < table.size(); ++v) table[v] = log2_fixed_exact(v);
  return table;
}();

// log2(v) * 2^16, exact to the table's 12 leading bits; 0 for v = 0.
[[nodiscard]] inline std::uint32_t log2_fixed(std::uint32_t v) {
  if (v < kLog2Table.size()) return kLog2Table[v];
  const unsigned drop = static_cast<unsigned>(std::bit_width(v)) - kLog2TableBits;
  return kLog2Table[v >> drop] + (drop << kLog2Fraction);
}

}  // namespace tessarine::predictive
