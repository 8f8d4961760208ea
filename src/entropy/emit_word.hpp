#pragma once

// Renormalisation for the encoder's hot loop. The coding pass is bound by the latency of its
// two serial state chains, not by instruction count, and a word is emitted only about once
// per 16 coded bits. So the step is a jump over the rare shift: predicted right it takes the
// compare-and-select off the chain (about 2 cycles of 10 per decision); the occasional
// misprediction costs less on all but incompressible data. On x86-64 it is written in
// assembly so that GCC keeps the jump; elsewhere it falls back to plain C++ with the same
// results.

#include <cstddef>
#include <cstdint>

namespace tessarine::arans {

// The encoder's renormalisation: when x >= limit, x = x >> 16 and --count.
inline void emit_word_if_at_least(std::uint32_t& x, std::uint32_t limit, std::size_t& count) {
#if defined(__GNUC__) && defined(__x86_64__) && !defined(TESSARINE_PORTABLE_CODER)
  asm("cmpl %[limit], %[x]\n\t"
      "jb 1f\n\t"
      "shrl $16, %[x]\n\t"
      "decq %[count]\n"
      "1:"
      : [x] "+r"(x), [count] "+r"(count)
      : [limit] "r"(limit)
      : "cc");
#else
  if (x >= limit) {
    x >>= 16;
    --count;
  }
#endif
}

}  // namespace tessarine::arans
