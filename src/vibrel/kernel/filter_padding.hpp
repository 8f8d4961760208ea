#pragma once

#include <cstdint>

#include "vibrel/kernel/border_mode.hpp"
#include "vibrel/kernel/fast_divide.hpp"
#include "vibrel/kernel/isa.hpp"

namespace vibrel {
inline namespace VIBREL_ISA {

// Maps any position, inside the signal or outside it (however far), to the sample it reads
// under a border mode. Built once per transform call; the dividers spare a division
// instruction per border sample.
//
// Outside the signal, with i relative to the lower bound and a = length:
//   Clamp       x[min(max(i, 0), a - 1)]
//   Wrap        x[i mod a]
//   Reflect     i < 0: x[(-i - 1) mod a]        i >= a: x[a - 1 - (i mod a)]
//   Reflect101  a = 1: x[0]; else with p = a - 1,
//               i < 0: m = (-i) mod p, x[m] if m != 0 else x[a - 1]
//               i >= a: x[a - 2 - ((i - 1) mod p)]
//   Constant    0
// Every remainder lies in 0 .. divisor - 1. Far out, the mirrors repeat with the period of
// their divisor rather than bouncing back and forth. Both mirrors are exact wherever a mirror
// sample exists: Reflect for a positions on each side, Reflect101 for the p positions up to
// x[-p] = x[p] and x[a - 1 + p] = x[0]. On the right, Reflect101 reads x[a - 2 - ...] rather
// than x[a - 1 - (i mod p)]: the latter would read the edge sample again at i = 2a - 2 (and at
// every right position when a = 2), which is exactly what this mode must not do.
struct BorderInterpolation {
  DividerI64 divider;            // by length for Wrap, Reflect, Reflect101; by 1 otherwise
  DividerI64 divider_minus_one;  // by length - 1 for Reflect101 with length >= 2; by 1 otherwise
  std::int64_t lower_bound;      // position of the first sample
  std::int64_t length;           // a; with a <= 0 every position is outside and reads nothing
  BorderMode mode;

  [[nodiscard]] static BorderInterpolation make(BorderMode mode, std::int64_t lower_bound,
                                                std::int64_t length) {
    const DividerI64 trivial = DividerI64::make(1);
    const bool folds = mode == BorderMode::Wrap || mode == BorderMode::Reflect ||
                       mode == BorderMode::Reflect101;
    const DividerI64 by_length = folds && length > 0 ? DividerI64::make(length) : trivial;
    const DividerI64 by_length_minus_one =
        mode == BorderMode::Reflect101 && length > 1 ? DividerI64::make(length - 1) : trivial;
    return BorderInterpolation{by_length, by_length_minus_one, lower_bound, length, mode};
  }

  // Index 0 .. length - 1 of the sample that `position` reads, or -1 when it reads the
  // constant zero (Constant outside the signal, or an empty signal).
  [[nodiscard]] std::int64_t map_index(std::int64_t position) const {
    // Wrapping subtraction: exact for any realistic bound, defined for all inputs.
    const std::int64_t i = static_cast<std::int64_t>(static_cast<std::uint64_t>(position) -
                                                     static_cast<std::uint64_t>(lower_bound));
    if (i >= 0 && i < length) return i;
    if (length <= 0) return -1;
    switch (mode) {
      case BorderMode::Clamp:
        return i < 0 ? 0 : length - 1;
      case BorderMode::Wrap:
        return divider.remainder_euclid(i);
      case BorderMode::Reflect:
        // -(i + 1) rather than -i - 1: defined even for the most negative position.
        return i < 0 ? divider.remainder_euclid(-(i + 1))
                     : length - 1 - divider.remainder_euclid(i);
      case BorderMode::Reflect101:
        return map_reflect101(i);
      case BorderMode::Constant:
        return -1;
    }
    return -1;
  }

  // The value `position` reads: a sample of `signal` (length samples), or 0.0f.
  [[nodiscard]] float sample(const float* signal, std::int64_t position) const {
    const std::int64_t index = map_index(position);
    return index < 0 ? 0.0f : signal[index];
  }

 private:
  // i lies outside 0 .. length - 1 and length >= 1.
  [[nodiscard]] std::int64_t map_reflect101(std::int64_t i) const {
    if (length == 1) return 0;
    const std::int64_t p = length - 1;
    if (i >= 0) return length - 2 - divider_minus_one.remainder_euclid(i - 1);
    // (-i) mod p computed as (p - i mod p) mod p, since -i may not be representable.
    const std::int64_t r = divider_minus_one.remainder_euclid(i);
    const std::int64_t m = r == 0 ? 0 : p - r;
    return m != 0 ? m : length - 1;
  }
};

}  // namespace VIBREL_ISA
}  // namespace vibrel
