#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <numeric>

namespace tessarine::predictive {

// Integer samples often use only every g-th code (a 12-bit converter in a 16-bit word, a
// gain): every sample is min + g * v. Coding v instead loses nothing and saves log2(g) bits.
struct IntegerGrid {
  std::uint64_t origin = 0;   // the chunk's least value, as its 64-bit two's complement bits
  std::uint64_t spacing = 1;  // 1: no grid
};

// The grid of x[0, n): its least value and the greatest common divisor of every distance to
// it. V orders the values (signed or unsigned); distances are below 2^64. The common power of
// two comes from one OR over the distances; an odd factor, suggested by the first block, is
// then checked on every distance.
template <class V>
inline IntegerGrid find_integer_grid(const V* x, std::size_t n) {
  if (n < 2) return {};
  V low = x[0];
  for (std::size_t i = 1; i < n; ++i) low = x[i] < low ? x[i] : low;
  const auto distance = [&](std::size_t i) {
    return static_cast<std::uint64_t>(x[i]) - static_cast<std::uint64_t>(low);
  };
  std::uint64_t bits = 0;
  for (std::size_t i = 0; i < n; ++i) bits |= distance(i);
  if (bits == 0) return {};
  const int shift = std::countr_zero(bits);
  std::uint64_t odd = 0;
  for (std::size_t i = 0; i < n && i < 1024 && odd != 1; ++i) odd = std::gcd(odd, distance(i) >> shift);
  for (std::size_t i = 0; i < n && odd > 1; ++i) {
    if ((distance(i) >> shift) % odd != 0) odd = 1;
  }
  const std::uint64_t g = (odd > 1 ? odd : 1) << shift;
  if (g < 2) return {};
  return {static_cast<std::uint64_t>(low), g};
}

}  // namespace tessarine::predictive
