#pragma once

// Branch-free steps for the coder's hot loops. Coded bits and renormalisations are close to
// random, so a branch on them mispredicts often, yet GCC turns a ternary on such a condition
// into a jump. On x86-64 these steps are spelled with cmp + cmov (and the carry flag) directly;
// elsewhere they fall back to plain C++ with the same results.

#include <cstddef>
#include <cstdint>

namespace tessarine::arans {

// a >= b (unsigned) ? if_true : if_false
[[nodiscard]] inline std::uint32_t select_if_at_least(std::uint32_t a, std::uint32_t b,
                                                      std::uint32_t if_true,
                                                      std::uint32_t if_false) {
#if defined(__GNUC__) && defined(__x86_64__)
  asm("cmpl %[b], %[a]\n\tcmovael %[if_true], %[result]"
      : [result] "+r"(if_false)
      : [a] "r"(a), [b] "ri"(b), [if_true] "r"(if_true)
      : "cc");
  return if_false;
#else
  return a >= b ? if_true : if_false;
#endif
}

// Returns r >= p and sets value = r >= p ? if_true : value, from a single comparison.
[[nodiscard]] inline std::uint32_t choose_if_at_least(std::uint32_t r, std::uint32_t p,
                                                      std::uint32_t if_true,
                                                      std::uint32_t& value) {
#if defined(__GNUC__) && defined(__x86_64__)
  std::uint32_t taken = 0;
  asm("cmpl %[p], %[r]\n\tcmovael %[if_true], %[value]\n\tsetae %b[taken]"
      : [value] "+r"(value), [taken] "+q"(taken)
      : [r] "r"(r), [p] "r"(p), [if_true] "r"(if_true)
      : "cc");
  return taken;
#else
  const bool taken = r >= p;
  if (taken) value = if_true;
  return taken ? 1 : 0;
#endif
}

// When x < limit: x = if_below and ++count. Otherwise nothing changes.
inline void replace_and_count_if_below(std::uint32_t& x, std::uint32_t limit,
                                       std::uint32_t if_below, std::size_t& count) {
#if defined(__GNUC__) && defined(__x86_64__)
  asm("cmpl %[limit], %[x]\n\tcmovbl %[if_below], %[x]\n\tadcq $0, %[count]"
      : [x] "+r"(x), [count] "+r"(count)
      : [limit] "ri"(limit), [if_below] "r"(if_below)
      : "cc");
#else
  if (x < limit) {
    x = if_below;
    ++count;
  }
#endif
}

// The encoder's renormalisation: when x >= limit, x = x >> 16 and --count.
inline void emit_word_if_at_least(std::uint32_t& x, std::uint32_t limit, std::size_t& count) {
#if defined(__GNUC__) && defined(__x86_64__)
  const std::uint32_t shifted = x >> 16;
  // The carry is set when x < limit: count += carry - 1.
  asm("cmpl %[limit], %[x]\n\tcmovael %[shifted], %[x]\n\tadcq $-1, %[count]"
      : [x] "+r"(x), [count] "+r"(count)
      : [limit] "r"(limit), [shifted] "r"(shifted)
      : "cc");
#else
  if (x >= limit) {
    x >>= 16;
    --count;
  }
#endif
}

}  // namespace tessarine::arans
