#pragma once

// The padded-arena writer of every tier, written once over a VectorOps set V. The arena is
// `pad_left` extension samples, the signal, then `pad_right` extension samples, each extension
// sample being what its position reads under the border mode. The caller has checked that the
// arena holds exactly pad_left + length + pad_right samples.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "vibrel/kernel/border_mode.hpp"
#include "vibrel/kernel/extension_run.hpp"
#include "vibrel/kernel/fast_divide.hpp"
#include "vibrel/kernel/filter_padding.hpp"
#include "vibrel/kernel/isa.hpp"
#include "vibrel/kernel/sample.hpp"

namespace vibrel {
inline namespace VIBREL_ISA {

// The reference: every extension sample is mapped on its own, through the same
// BorderInterpolation the fixed-length executors use.
inline void write_arena_one_by_one(const f32* signal, std::size_t length, f32* arena,
                                   std::size_t pad_left, std::size_t pad_right,
                                   BorderMode mode) {
  if (length != 0) std::memcpy(arena + pad_left, signal, length * sizeof(f32));
  const BorderInterpolation border =
      BorderInterpolation::make(mode, 0, static_cast<std::int64_t>(length));
  const std::int64_t left = static_cast<std::int64_t>(pad_left);
  for (std::int64_t k = 0; k < left; ++k) arena[k] = border.sample(signal, k - left);
  f32* right = arena + pad_left + length;
  const std::int64_t end = static_cast<std::int64_t>(length);
  for (std::size_t k = 0; k < pad_right; ++k) {
    right[k] = border.sample(signal, end + static_cast<std::int64_t>(k));
  }
}

template <class V>
inline void fill_lanes(f32* out, std::size_t count, f32 value) {
  const typename V::Reg v = V::broadcast(value);
  std::size_t k = 0;
  for (; k + V::kLanes <= count; k += V::kLanes) V::store(out + k, v);
  for (; k < count; ++k) out[k] = value;
}

// kLanes counters r_k .. r_k+kLanes-1 per block; indices and divisor fit in 32 bits (checked
// by the caller), so r + step < 2^32 and one unsigned minimum wraps the counters back into
// range.
template <class V>
inline void write_folded_run(const f32* signal, f32* out, std::size_t count,
                             const ExtensionRun& run) {
  using Index = typename V::Index;
  alignas(alignof(Index)) std::int32_t first_lanes[V::kLanes];
  std::int64_t r = run.start;
  for (std::size_t j = 0; j < V::kLanes; ++j) {
    first_lanes[j] = static_cast<std::int32_t>(r);
    r = next_counter(run, r);
  }
  const std::int64_t step = DividerI64::make(run.divisor).remainder_euclid(V::kLanes);
  const Index step_v = V::index_broadcast(static_cast<std::int32_t>(step));
  const Index divisor_v = V::index_broadcast(static_cast<std::int32_t>(run.divisor));
  const Index origin_v = V::index_broadcast(static_cast<std::int32_t>(run.origin));
  // index = origin + ((r ^ negate) - negate): +r when ascending, -r when descending.
  const Index negate_v = V::index_broadcast(run.descending ? -1 : 0);
  Index counters = V::index_load(first_lanes);
  std::size_t k = 0;
  for (; k + V::kLanes <= count; k += V::kLanes) {
    const Index offset = V::index_sub(V::index_xor(counters, negate_v), negate_v);
    V::store(out + k, V::gather(signal, V::index_add(origin_v, offset)));
    const Index advanced = V::index_add(counters, step_v);
    counters = V::index_min_unsigned(advanced, V::index_sub(advanced, divisor_v));
  }
  finish_run(signal, out + k, count - k, run, V::index_first(counters));
}

template <class V>
inline void write_run(const f32* signal, f32* out, std::size_t count, const ExtensionRun& run) {
  if (count == 0) return;
  if (run.zero) return fill_lanes<V>(out, count, 0.0f);
  if (run.divisor == 1) return fill_lanes<V>(out, count, signal[run.origin]);
  write_folded_run<V>(signal, out, count, run);
}

// The arena for tier V: the reference for the scalar set, counters advanced a register at a
// time otherwise. All tiers write identical arenas.
template <class V>
inline void write_arena(const f32* signal, std::size_t length, f32* arena, std::size_t pad_left,
                        std::size_t pad_right, BorderMode mode) {
  // Vector indices are signed 32-bit lanes; longer signals take the reference path too.
  if (V::kLanes == 0 || length > static_cast<std::size_t>(INT32_MAX)) {
    return write_arena_one_by_one(signal, length, arena, pad_left, pad_right, mode);
  }
  if constexpr (V::kLanes > 0) {
    if (length != 0) std::memcpy(arena + pad_left, signal, length * sizeof(f32));
    write_run<V>(signal, arena, pad_left, left_extension_run(mode, length, pad_left));
    write_run<V>(signal, arena + pad_left + length, pad_right, right_extension_run(mode, length));
  }
}

}  // namespace VIBREL_ISA
}  // namespace vibrel
