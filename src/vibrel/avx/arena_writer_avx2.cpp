#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "vibrel/filter_bank/arena_writer.hpp"
#include "vibrel/kernel/extension_run.hpp"

namespace vibrel::avx {
namespace {

constexpr std::size_t kLanes = 8;

void fill(f32* out, std::size_t count, f32 value) {
  const __m256 v = _mm256_set1_ps(value);
  std::size_t k = 0;
  for (; k + kLanes <= count; k += kLanes) _mm256_storeu_ps(out + k, v);
  for (; k < count; ++k) out[k] = value;
}

// Eight counters r_k .. r_k+7 per block; indices and divisor fit in 32 bits (checked by the
// caller), so r + step < 2^32 and one unsigned minimum wraps the counters back into range.
void write_folded_run(const f32* signal, f32* out, std::size_t count, const ExtensionRun& run) {
  alignas(32) std::int32_t first_lanes[kLanes];
  std::int64_t r = run.start;
  for (std::size_t j = 0; j < kLanes; ++j) {
    first_lanes[j] = static_cast<std::int32_t>(r);
    r = next_counter(run, r);
  }
  const std::int64_t step = DividerI64::make(run.divisor).remainder_euclid(kLanes);
  const __m256i step_v = _mm256_set1_epi32(static_cast<std::int32_t>(step));
  const __m256i divisor_v = _mm256_set1_epi32(static_cast<std::int32_t>(run.divisor));
  const __m256i origin_v = _mm256_set1_epi32(static_cast<std::int32_t>(run.origin));
  // index = origin + ((r ^ negate) - negate): +r when ascending, -r when descending.
  const __m256i negate_v = _mm256_set1_epi32(run.descending ? -1 : 0);
  __m256i counters = _mm256_load_si256(reinterpret_cast<const __m256i*>(first_lanes));
  std::size_t k = 0;
  for (; k + kLanes <= count; k += kLanes) {
    const __m256i offset = _mm256_sub_epi32(_mm256_xor_si256(counters, negate_v), negate_v);
    const __m256i index = _mm256_add_epi32(origin_v, offset);
    _mm256_storeu_ps(out + k, _mm256_i32gather_ps(signal, index, 4));
    const __m256i advanced = _mm256_add_epi32(counters, step_v);
    counters = _mm256_min_epu32(advanced, _mm256_sub_epi32(advanced, divisor_v));
  }
  const std::int64_t next = static_cast<std::uint32_t>(_mm256_cvtsi256_si32(counters));
  finish_run(signal, out + k, count - k, run, next);
}

void write_run(const f32* signal, f32* out, std::size_t count, const ExtensionRun& run) {
  if (count == 0) return;
  if (run.zero) return fill(out, count, 0.0f);
  if (run.divisor == 1) return fill(out, count, signal[run.origin]);
  write_folded_run(signal, out, count, run);
}

}  // namespace

void write_arena_1d_avx(const f32* signal, std::size_t length, f32* arena, std::size_t pad_left,
                        std::size_t pad_right, BorderMode mode) {
  // Gather indices are signed 32-bit; longer signals take the scalar path.
  if (length > static_cast<std::size_t>(INT32_MAX)) {
    return write_arena_1d_impl(signal, length, arena, pad_left, pad_right, mode);
  }
  if (length != 0) std::memcpy(arena + pad_left, signal, length * sizeof(f32));
  write_run(signal, arena, pad_left, left_extension_run(mode, length, pad_left));
  write_run(signal, arena + pad_left + length, pad_right, right_extension_run(mode, length));
}

}  // namespace vibrel::avx
