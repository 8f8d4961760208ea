#pragma once

#include <cstddef>

#include "vibrel/kernel/border_mode.hpp"
#include "vibrel/kernel/filter_bank_layout.hpp"
#include "vibrel/kernel/sample.hpp"
#include "vibrel/kernel/vector_ops.hpp"

namespace vibrel {

// The kernels of the orthogonal filter banks for one instruction set (vector_ops.hpp). They
// are written once over VectorOps<Set> (filter_bank_kernel.hpp, arena_writer_kernel.hpp) and
// instantiated in the set's own folder, so flag-free executors may hold and call them. They
// trust their arguments: the executor has checked every size and owns every allocation.

// Fixed-length filter banks, N = 2, 4, 6, 8, 10, 12, 16. `low` and `high` are the record's
// taps in kLayout.
template <class Set, std::size_t N>
struct FixedTapsKernel {
  static constexpr std::size_t kTaps = N;
  static constexpr TapLayout kLayout = Set::tap_layout(N);

  // n >= N input samples; approximations and details hold (n + N - 1) / 2 samples each. The
  // border samples are gathered inline. Products are never fused here, so every tier gives
  // the scalar bands bit for bit.
  static void forward(const f32* input, std::size_t n, const f32* low, const f32* high,
                      BorderMode mode, f32* approximations, f32* details);
  // Adds the synthesis of m coefficient pairs into output[0 .. 2m - N + 1]; fused when
  // Set::kFused.
  static void inverse(const f32* approximations, const f32* details, std::size_t m, const f32* low,
                      const f32* high, f32* output);
};

// The generic filter bank, for any tap count >= 1; fused in both directions when Set::kFused.
template <class Set>
struct NTapsKernel {
  // The padded arena the forward reads: pad_left extension samples, the signal, pad_right
  // extension samples, as the border mode extends it. Identical on every tier.
  static void write_arena(const f32* signal, std::size_t length, f32* arena, std::size_t pad_left,
                          std::size_t pad_right, BorderMode mode);
  // The window of output i is arena[2i .. 2i + taps - 1]; `readable` samples of arena exist.
  static void forward(const f32* arena, std::size_t readable, std::size_t m, const f32* low,
                      const f32* high, std::size_t taps, f32* approximations, f32* details);
  // Adds the synthesis of m coefficient pairs into output[0 .. output_length - 1], where
  // output_length = 2m - taps + 2.
  static void inverse(const f32* approximations, const f32* details, std::size_t m, const f32* low,
                      const f32* high, std::size_t taps, f32* output, std::size_t output_length);
};

}  // namespace vibrel
