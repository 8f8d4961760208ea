#pragma once

#include <cstddef>
#include <limits>

#include "vibrel/kernel/isa.hpp"

namespace vibrel {
inline namespace VIBREL_ISA {

// Size rules of the orthogonal filter banks with `taps` taps (N) for an input of n samples.
// They are total functions: lengths that would go negative give 0, so a tap count or band
// length no forward transform produces can never turn into a huge allocation or a wild write.

// m = floor((n + N - 1) / 2) approximation and as many detail coefficients.
[[nodiscard]] constexpr std::size_t orthogonal_band_length(std::size_t n, std::size_t taps) {
  return n + taps == 0 ? 0 : (n + taps - 1) / 2;
}

// 2m - N + 2 samples from m coefficient pairs: n for even n, n + 1 for odd n.
[[nodiscard]] constexpr std::size_t orthogonal_output_length(std::size_t m, std::size_t taps) {
  if (m > std::numeric_limits<std::size_t>::max() / 2 - 1) {
    return std::numeric_limits<std::size_t>::max();
  }
  return 2 * m + 2 <= taps ? 0 : 2 * m + 2 - taps;
}

// Padded arena of the generic executor: N - 2 + ((n + N - 1) with its lowest bit cleared),
// which is 2m + N - 2; the window of output i is arena[2i .. 2i + N - 1].
[[nodiscard]] constexpr std::size_t orthogonal_arena_length(std::size_t n, std::size_t taps) {
  const std::size_t even_span = 2 * orthogonal_band_length(n, taps);
  return even_span + taps <= 2 ? 0 : even_span + taps - 2;
}

// The forward outputs of a fixed-length executor fall into three runs: [0, interior_begin)
// whose windows start before sample 0, [interior_begin, interior_end) whose windows lie inside
// the signal, and [interior_end, m) whose windows pass its end. Needs n >= N >= 2.
struct ForwardRuns {
  std::size_t interior_begin;  // N/2 - 1: window of output i starts at 2i - (N - 2)
  std::size_t interior_end;    // floor(n/2): the last window ending at or before sample n - 1
  std::size_t band_length;     // m
};

[[nodiscard]] constexpr ForwardRuns forward_runs(std::size_t n, std::size_t taps) {
  return ForwardRuns{taps / 2 - 1, n / 2, orthogonal_band_length(n, taps)};
}

}  // namespace VIBREL_ISA
}  // namespace vibrel
