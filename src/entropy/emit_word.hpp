#pragma once

// Branch-free renormalisation for the encoder's hot loop. Whether a word is emitted is close to
// random, so a branch on it mispredicts often, yet GCC turns a ternary on such a condition into
// a jump. On x86-64 the step is spelled with cmp + cmov and the carry flag directly; elsewhere
// it falls back to plain C++ with the same results.

#include <cstddef>
#include <cstdint>

namespace tessarine::arans {

// The encoder's renormalisation: when x >= limit, x = x >> 16 and --count.
inline void emit_word_if_at_least(std::uint32_t& x, std::uint32_t limit, std::size_t& count) {
#if defined(__GNUC__) && defined(__x86_64__) && !defined(TESSARINE_PORTABLE_CODER)
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
