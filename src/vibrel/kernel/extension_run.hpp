#pragma once

#include <cstddef>
#include <cstdint>

#include "vibrel/kernel/border_mode.hpp"
#include "vibrel/kernel/fast_divide.hpp"
#include "vibrel/kernel/isa.hpp"

namespace vibrel {
inline namespace VIBREL_ISA {

// One side of a padded arena as a counter, the form the vector arena writers use: the k-th
// extension sample of the side (k counted outward-to-inward on the left, inward-to-outward on
// the right, i.e. in arena order) reads
//   x[origin + r_k]  or, when descending,  x[origin - r_k],   r_k = (start + k) mod divisor.
// Every border mode fits this form, so a vector of counters advances by one add, one
// subtract and one unsigned minimum per block, with no division.
//
// Derivation, with a = length, p = a - 1, left position i = k - pad_left, right i = a + k:
//   Wrap        i mod a                               origin 0,     ascending, divisor a
//   Reflect     left (-i - 1) mod a = a - 1 - (i mod a);
//               right a - 1 - (k mod a)               origin a - 1, descending, divisor a
//   Reflect101  left (-i) mod p, or p when that is 0, = p - (i mod p)
//                                                     origin p,     descending, divisor p
//               right a - 2 - ((i - 1) mod p) = (p - 1) - (k mod p)
//                                                     origin p - 1, descending, divisor p
//   Clamp, and Reflect101 with a = 1: a constant index, divisor 1.
struct ExtensionRun {
  bool zero;             // reads 0.0f everywhere: Constant, or an empty signal
  std::int64_t divisor;  // >= 1; 1 means every sample reads x[origin]
  std::int64_t start;    // r_0, in 0 .. divisor - 1
  std::int64_t origin;
  bool descending;
};

[[nodiscard]] inline ExtensionRun constant_index_run(std::int64_t index) {
  return ExtensionRun{false, 1, 0, index, false};
}

// start = offset mod divisor, for a side whose first sample sits `offset` steps into the cycle.
[[nodiscard]] inline ExtensionRun folded_run(std::int64_t divisor, std::int64_t offset,
                                             std::int64_t origin, bool descending) {
  const std::int64_t start = DividerI64::make(divisor).remainder_euclid(offset);
  return ExtensionRun{false, divisor, start, origin, descending};
}

[[nodiscard]] inline ExtensionRun left_extension_run(BorderMode mode, std::size_t length,
                                                     std::size_t pad_left) {
  const std::int64_t a = static_cast<std::int64_t>(length);
  const std::int64_t first = -static_cast<std::int64_t>(pad_left);
  if (a == 0 || mode == BorderMode::Constant) return ExtensionRun{true, 1, 0, 0, false};
  switch (mode) {
    case BorderMode::Wrap:
      return folded_run(a, first, 0, false);
    case BorderMode::Reflect:
      return folded_run(a, first, a - 1, true);
    case BorderMode::Reflect101:
      return a == 1 ? constant_index_run(0) : folded_run(a - 1, first, a - 1, true);
    default:
      return constant_index_run(0);
  }
}

[[nodiscard]] inline ExtensionRun right_extension_run(BorderMode mode, std::size_t length) {
  const std::int64_t a = static_cast<std::int64_t>(length);
  if (a == 0 || mode == BorderMode::Constant) return ExtensionRun{true, 1, 0, 0, false};
  switch (mode) {
    case BorderMode::Wrap:
      return folded_run(a, 0, 0, false);
    case BorderMode::Reflect:
      return folded_run(a, 0, a - 1, true);
    case BorderMode::Reflect101:
      return a == 1 ? constant_index_run(0) : folded_run(a - 1, 0, a - 2, true);
    default:
      return constant_index_run(a - 1);
  }
}

// The counter that follows r in a run: r + 1, back to 0 at the divisor.
[[nodiscard]] inline std::int64_t next_counter(const ExtensionRun& run, std::int64_t r) {
  return r + 1 == run.divisor ? 0 : r + 1;
}

// Writes `count` samples of a folded run one at a time, starting from counter value r: the
// tail the vector writers leave after their last full block.
inline void finish_run(const float* signal, float* out, std::size_t count,
                       const ExtensionRun& run, std::int64_t r) {
  for (std::size_t k = 0; k < count; ++k) {
    out[k] = signal[run.descending ? run.origin - r : run.origin + r];
    r = next_counter(run, r);
  }
}

}  // namespace VIBREL_ISA
}  // namespace vibrel
