#pragma once

#include <cstdint>

#include "vibrel/kernel/isa.hpp"

namespace vibrel {
inline namespace VIBREL_ISA {

__extension__ typedef __int128 DividerI128;
__extension__ typedef unsigned __int128 DividerU128;

// Signed 64-bit division by a divisor known only at run time, without a division
// instruction per call: a multiply-high by a precomputed magic number and a shift
// (Granlund and Montgomery). Divisors here are always positive: a signal length, or 1.
struct DividerI64 {
  static constexpr std::uint8_t kShiftMask = 0x3F;
  static constexpr std::uint8_t kAddMarker = 0x40;

  std::int64_t magic;         // 0 for powers of two, which divide by shifting alone
  std::int64_t divisor;       // d
  std::uint64_t abs_divisor;  // |d|
  std::uint8_t more;          // bits 0-5: shift; bit 6: add the numerator after multiplying

  // d must be positive.
  [[nodiscard]] static DividerI64 make(std::int64_t d) {
    const std::uint64_t abs_d = static_cast<std::uint64_t>(d);
    const std::uint32_t floor_log2 = 63u - static_cast<std::uint32_t>(__builtin_clzll(abs_d));
    if ((abs_d & (abs_d - 1)) == 0) {
      return DividerI64{0, d, abs_d, static_cast<std::uint8_t>(floor_log2)};
    }
    // m0 = floor(2^(63 + floor_log2) / d); fits in 64 bits because d > 2^floor_log2.
    const DividerU128 numerator = static_cast<DividerU128>(1) << (63 + floor_log2);
    const std::uint64_t m0 = static_cast<std::uint64_t>(numerator / abs_d);
    const std::uint64_t remainder = static_cast<std::uint64_t>(numerator - DividerU128{m0} * abs_d);
    const std::uint64_t e = abs_d - remainder;
    if (e < (std::uint64_t{1} << floor_log2)) {
      return DividerI64{static_cast<std::int64_t>(m0 + 1), d, abs_d,
                        static_cast<std::uint8_t>(floor_log2 - 1)};
    }
    // The magic number needs 65 bits: keep its low 64 and add the numerator back when
    // dividing. 2 * remainder cannot overflow since remainder < d < 2^63.
    const std::uint64_t twice_remainder = remainder + remainder;
    const std::uint64_t magic = 2 * m0 + 1 + (twice_remainder >= abs_d ? 1 : 0);
    return DividerI64{static_cast<std::int64_t>(magic), d, abs_d,
                      static_cast<std::uint8_t>(floor_log2 | kAddMarker)};
  }

  // v / d rounded toward zero, for every v.
  [[nodiscard]] std::int64_t divide(std::int64_t v) const {
    const std::uint32_t shift = more & kShiftMask;
    if (magic == 0) {
      // Arithmetic shift rounds toward minus infinity; bias negative numerators by d - 1.
      const std::uint64_t bias = v < 0 ? (std::uint64_t{1} << shift) - 1 : 0;
      return static_cast<std::int64_t>(static_cast<std::uint64_t>(v) + bias) >> shift;
    }
    const DividerI128 product = static_cast<DividerI128>(magic) * v;
    std::uint64_t t = static_cast<std::uint64_t>(static_cast<DividerU128>(product) >> 64);
    // Unsigned addition: the true sum fits in 64 bits, only intermediate signs may not.
    if ((more & kAddMarker) != 0) t += static_cast<std::uint64_t>(v);
    const std::int64_t q = static_cast<std::int64_t>(t) >> shift;
    return q + (q < 0 ? 1 : 0);
  }

  // v mod d in 0 .. d - 1, for every v.
  [[nodiscard]] std::int64_t remainder_euclid(std::int64_t v) const {
    // |q * d| <= |v|, so neither the product nor the difference overflows.
    const std::int64_t r = v - divide(v) * divisor;
    return r < 0 ? r + divisor : r;
  }
};

}  // namespace VIBREL_ISA
}  // namespace vibrel
