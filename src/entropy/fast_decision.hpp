#pragma once

// The decoder's innermost step, one decision of a symbol whose cursor passed can_decode_fast():
// no bounds checks and at most one renormalisation word. It is the hottest code of
// decompression, so on x86-64 it is written out in assembly: GCC otherwise turns the
// data-dependent selections into mispredicted jumps, spills the two interleaved planes' state
// and reloads table addresses. The portable form below it gives the same results.
//
// The probability of the next node is loaded before the current bit is known (both children
// are read, then one is kept), which takes the model load off the serial chain.

#include <cstdint>

#include "entropy/plane_decoder.hpp"

namespace tessarine::arans {

// A symbol in progress: its context, the tree position, the probability stored there, and the
// renormalisation words taken so far (the cursor's `next` moves on when the symbol is done,
// so that taking a word is a single add-with-carry).
struct FastSymbol {
  std::uint16_t* context;
  std::uint64_t node;
  std::uint64_t p;
  std::uint64_t words;
};

[[gnu::always_inline]] inline FastSymbol begin_fast_symbol(const PlaneCursor& c) {
  std::uint16_t* const context = symbol_context(c);
  return {context, 1, context[1], 0};
}

// kLastBit: the eighth decision, whose children lie outside the context and are not read.
template <bool kLastBit>
[[gnu::always_inline]] inline void decide_fast(PlaneCursor& c, FastSymbol& s) {
  const std::uint16_t* const adapted = kAdaptedProbability.data();
#if defined(__GNUC__) && defined(__x86_64__) && !defined(TESSARINE_PORTABLE_CODER)
  std::uint64_t zero_child = 0;
  std::uint64_t one_child = 0;
  if constexpr (!kLastBit) {
    asm("movzwl (%[context],%[node],4), %k[zero_child]\n\t"
        "movzwl 2(%[context],%[node],4), %k[one_child]"
        : [zero_child] "=&r"(zero_child), [one_child] "=r"(one_child)
        : [context] "r"(s.context), [node] "r"(s.node)
        : "memory");
  }
  std::uint64_t r;
  std::uint64_t t;
  // r = x & 0xFFF. bit 0 (r < p): x = p * (x >> 12) + r. bit 1: x = (4096 - p) * (x >> 12)
  // + r - p = x - p - p * (x >> 12). Then r = bit - 1, the model entry is adapted through
  // the table at 2 * p + bit, and node = 2 * node + bit.
  asm("movl %[x], %k[t]\n\t"
      "shrl $12, %k[t]\n\t"
      "movl %[x], %k[r]\n\t"
      "andl $4095, %k[r]\n\t"
      "imull %k[p], %k[t]\n\t"
      "subl %k[p], %[x]\n\t"
      "subl %k[t], %[x]\n\t"
      "addl %k[r], %k[t]\n\t"
      "cmpl %k[p], %k[r]\n\t"
      "cmovbl %k[t], %[x]\n\t"
      "sbbq %[r], %[r]\n\t"
      "leaq 1(%[r],%[p],2), %[p]\n\t"
      "movzwl (%[adapted],%[p],2), %k[p]\n\t"
      "movw %w[p], (%[context],%[node],2)\n\t"
      "leaq 1(%[r],%[node],2), %[node]"
      : [x] "+&r"(c.x), [node] "+&r"(s.node), [p] "+&r"(s.p), [r] "=&r"(r), [t] "=&r"(t)
      : [context] "r"(s.context), [adapted] "r"(adapted)
      : "cc", "memory");
  if constexpr (!kLastBit) {
    // r is all ones after a 0 bit, zero after a 1 bit.
    asm("testq %[r], %[r]\n\tcmovzq %[one_child], %[zero_child]"
        : [zero_child] "+r"(zero_child)
        : [r] "r"(r), [one_child] "r"(one_child)
        : "cc");
    s.p = zero_child;
  }
  // x < 2^16: x = (x << 16) | the next word, and one more word is taken (the carry of the
  // comparison is exactly that condition).
  asm("movzwl (%[next],%[words],2), %k[r]\n\t"
      "movl %[x], %k[t]\n\t"
      "shll $16, %k[t]\n\t"
      "orl %k[r], %k[t]\n\t"
      "cmpl $65536, %[x]\n\t"
      "cmovbl %k[t], %[x]\n\t"
      "adcq $0, %[words]"
      : [x] "+&r"(c.x), [words] "+&r"(s.words), [r] "=&r"(r), [t] "=&r"(t)
      : [next] "r"(c.next)
      : "cc", "memory");
#else
  std::uint32_t node = static_cast<std::uint32_t>(s.node);
  decide(c, s.context, node);
  s.node = node;
  if (c.x < kStateLowerBound) {
    c.x = (c.x << kWordBits) | load_word(c.next + 2 * s.words);
    ++s.words;
  }
  if constexpr (!kLastBit) s.p = s.context[s.node];
  (void)adapted;
#endif
}

// The symbol decoded, which also becomes the previous symbol.
[[gnu::always_inline]] inline std::uint8_t finish_fast_symbol(PlaneCursor& c, const FastSymbol& s) {
  c.next += 2 * s.words;
  c.previous = static_cast<std::uint32_t>(s.node & 0xFF);
  return static_cast<std::uint8_t>(c.previous);
}

}  // namespace tessarine::arans
