#pragma once

#include <algorithm>
#include <cstddef>
#include <span>

#include "vibrel/dwt.hpp"

namespace vibrel {

// Read this first. A level runs its lifting steps strip by strip, so that the bands are still
// in cache when the next step reads them. Each step keeps `done`, the length of the prefix of
// the band it writes that already holds its final values, and advances it as far as `ready`,
// the final prefix of the band it reads, allows; `ready` equal to that band's whole length
// lets the step finish, mirrored border coefficients included. Every coefficient still gets
// exactly the formula and rounding of one whole pass per step, so results do not depend on
// the strip length. No step overwrites a value that a lagging step has yet to read: a
// coefficient is written only after its inputs are final, and those inputs are the last
// values the previous step needed from the band being written.

// Coefficients per strip and band. A strip of every band takes a few KB, well inside the L1
// data cache; 256 measured fastest of 128 to 4096 on a million samples.
inline constexpr std::size_t kLiftingStrip = 256;

// Number of leading coefficients whose two neighbours in the other band both exist.
inline std::size_t inner_pairs(std::size_t a, std::size_t b) {
  return std::min(a - 1, b);
}

// First forward predict fused with copying the even samples: s[k] = x[2k],
// d[k] = (x[2k] + x[2k+2]) * c + x[2k+1]. Advances d to `target`; d.size() finishes.
template <class Kernels>
std::size_t advance_split(std::span<const f32> x, std::span<f32> s, std::span<f32> d, f32 c,
                          std::size_t done, std::size_t target) {
  const std::size_t n = x.size();
  const std::size_t b = d.size();
  const std::size_t pairs = inner_pairs(s.size(), b);
  const std::size_t to = std::min(target, pairs);
  if (to > done) {
    Kernels::split_predict(x.data() + 2 * done, s.data() + done, d.data() + done, to - done, c);
    done = to;
  }
  if (target < b) return done;
  if (pairs < b) {
    // Even n: the last odd sample has no right neighbour and mirrors x[n-2].
    s[b - 1] = x[n - 2];
    d[b - 1] = Kernels::lift(x[n - 2] + x[n - 2], c, x[n - 1]);
  } else {
    // Odd n: the last even sample has no detail of its own.
    s[b] = x[n - 1];
  }
  return b;
}

// s[k] = (d[k-1] + d[k]) * c + s[k] with d mirrored at both ends; `ready` is d's final prefix.
template <class Kernels>
std::size_t advance_update(std::span<f32> s, std::span<const f32> d, f32 c, std::size_t done,
                           std::size_t ready) {
  const std::size_t a = s.size();
  const std::size_t b = d.size();
  if (done == a || ready == 0) return done;
  if (done == 0) {
    s[0] = Kernels::lift(d[0] + d[0], c, s[0]);
    done = 1;
  }
  // Every s[k] with k < b has both neighbours d[k-1] and d[k].
  const std::size_t to = std::min(ready, b);
  if (to > done) {
    Kernels::update(s.data() + done, d.data() + done, to - done, c);
    done = to;
  }
  if (ready < b) return done;
  // Odd n: the last coefficient mirrors d[b-1].
  if (a > b) s[b] = Kernels::lift(d[b - 1] + d[b - 1], c, s[b]);
  return a;
}

// d[k] = (s[k] + s[k+1]) * c + d[k] with s mirrored at the right end for even n; `ready` is
// s's final prefix.
template <class Kernels>
std::size_t advance_predict(std::span<const f32> s, std::span<f32> d, f32 c, std::size_t done,
                            std::size_t ready) {
  const std::size_t b = d.size();
  if (done == b) return done;
  const std::size_t pairs = inner_pairs(s.size(), b);
  const std::size_t to = std::min(ready > 0 ? ready - 1 : 0, pairs);
  if (to > done) {
    Kernels::predict(s.data() + done, d.data() + done, to - done, c);
    done = to;
  }
  if (ready < s.size()) return done;
  if (pairs < b) d[b - 1] = Kernels::lift(s[b - 1] + s[b - 1], c, d[b - 1]);
  return b;
}

// The last inverse predict written straight into the interleaved output: y[2k] = e[k],
// y[2k+1] = (e[k] + e[k+1]) * c + d[k]; `ready` is e's final prefix. Returns the number of
// details placed.
template <class Kernels>
std::size_t advance_interleave(std::span<const f32> e, std::span<const f32> d, f32 c,
                               std::span<f32> y, std::size_t done, std::size_t ready) {
  const std::size_t b = d.size();
  if (done == b) return done;
  const std::size_t pairs = inner_pairs(e.size(), b);
  const std::size_t to = std::min(ready > 0 ? ready - 1 : 0, pairs);
  if (to > done) {
    Kernels::predict_interleave(e.data() + done, d.data() + done, y.data() + 2 * done, to - done,
                                c);
    done = to;
  }
  if (ready < e.size()) return done;
  if (pairs < b) {
    y[2 * b - 2] = e[b - 1];
    y[2 * b - 1] = Kernels::lift(e[b - 1] + e[b - 1], c, d[b - 1]);
  } else {
    y[2 * b] = e[b];
  }
  return b;
}

// out[k] = in[k] * c for done <= k < to.
template <class Kernels>
std::size_t advance_scale(std::span<const f32> in, std::span<f32> out, f32 c, std::size_t done,
                          std::size_t to) {
  if (to > done) Kernels::scale(in.data() + done, out.data() + done, to - done, c);
  return std::max(done, to);
}

}  // namespace vibrel
