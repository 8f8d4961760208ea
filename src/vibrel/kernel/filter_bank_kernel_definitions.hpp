#pragma once

// The members of the kernels declared in filter_bank_kernels.hpp. Only the file that
// instantiates one set's kernels includes this, after that set's VectorOps, so each set's
// copy is compiled with its own flags.

#include <cstddef>

#include "vibrel/kernel/arena_writer_kernel.hpp"
#include "vibrel/kernel/filter_bank_kernel.hpp"
#include "vibrel/kernel/filter_bank_kernels.hpp"
#include "vibrel/kernel/filter_bank_sizes.hpp"

namespace vibrel {

template <class Set, std::size_t N>
void FixedTapsKernel<Set, N>::forward(const f32* input, std::size_t n, const f32* low,
                                      const f32* high, BorderMode mode, f32* approximations,
                                      f32* details) {
  fixed_forward<VectorOps<Set>, N, kLayout>(input, n, low, high, mode, approximations, details);
}

template <class Set, std::size_t N>
void FixedTapsKernel<Set, N>::inverse(const f32* approximations, const f32* details,
                                      std::size_t m, const f32* low, const f32* high,
                                      f32* output) {
  synthesis_pairs<VectorOps<Set>, Set::kFused>(approximations, details,
                                               orthogonal_output_length(m, N) / 2, low, high,
                                               TapCount<N>{}, output);
}

template <class Set>
void NTapsKernel<Set>::write_arena(const f32* signal, std::size_t length, f32* arena,
                                   std::size_t pad_left, std::size_t pad_right, BorderMode mode) {
  vibrel::write_arena<VectorOps<Set>>(signal, length, arena, pad_left, pad_right, mode);
}

template <class Set>
void NTapsKernel<Set>::forward(const f32* arena, std::size_t readable, std::size_t m,
                               const f32* low, const f32* high, std::size_t taps,
                               f32* approximations, f32* details) {
  analysis_windows<VectorOps<Set>, Set::kFused>(arena, readable, m, low, high, taps,
                                                approximations, details);
}

template <class Set>
void NTapsKernel<Set>::inverse(const f32* approximations, const f32* details, std::size_t m,
                               const f32* low, const f32* high, std::size_t taps, f32* output,
                               std::size_t output_length) {
  generic_inverse<VectorOps<Set>, Set::kFused>(approximations, details, m, low, high, taps,
                                               output, output_length);
}

}  // namespace vibrel

// Every kernel of one set; the 16-tap fixed kernel is left to the sets whose factory uses it.
#define VIBREL_FILTER_BANK_KERNELS(Set)        \
  template struct FixedTapsKernel<Set, 2>;     \
  template struct FixedTapsKernel<Set, 4>;     \
  template struct FixedTapsKernel<Set, 6>;     \
  template struct FixedTapsKernel<Set, 8>;     \
  template struct FixedTapsKernel<Set, 10>;    \
  template struct FixedTapsKernel<Set, 12>;    \
  template struct NTapsKernel<Set>
