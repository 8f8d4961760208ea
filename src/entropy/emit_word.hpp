#pragma once

// Renormalisation for the encoder's hot loop. A word is emitted only about once per 16 coded
// bits, so the step is a jump over the rare store and shift: predicted right it takes the
// compare-and-select off the state chain (about 2 cycles of 10 per decision) and costs no
// store, which matters where the coding shares its loop with modelling and the loop is bound
// by instruction count; the occasional misprediction costs less on all but incompressible
// data. On x86-64 it is written in assembly so that GCC keeps the jump; elsewhere it falls
// back to plain C++ with the same results.

#include <bit>
#include <cstddef>
#include <cstdint>

namespace tessarine::arans {

// The encoder's renormalisation: when x >= limit, `word` moves Stride slots down and takes the
// low 16 bits of x, little-endian, then x = x >> 16. The store sits inside the jump, so that a
// decision that emits nothing costs no store.
template <std::size_t Stride>
[[gnu::always_inline]] inline void emit_word_if_at_least(std::uint32_t& x, std::uint32_t limit,
                                                         std::uint16_t*& word) {
#if defined(__GNUC__) && defined(__x86_64__) && !defined(TESSARINE_PORTABLE_CODER)
  asm("cmpl %[limit], %[x]\n\t"
      "jb 1f\n\t"
      "movw %w[x], %[slot]\n\t"
      "shrl $16, %[x]\n\t"
      "subq %[step], %[word]\n"
      "1:"
      : [x] "+r"(x), [word] "+r"(word), [slot] "+m"(word[-static_cast<std::ptrdiff_t>(Stride)])
      : [limit] "r"(limit), [step] "i"(Stride * sizeof(std::uint16_t))
      : "cc");
#else
  if (x >= limit) {
    word -= Stride;
    std::uint16_t low = static_cast<std::uint16_t>(x);
    if constexpr (std::endian::native == std::endian::big) low = std::byteswap(low);
    *word = low;
    x >>= 16;
  }
#endif
}

}  // namespace tessarine::arans
