#pragma once

#include <cstdint>
#include <span>

namespace vibrel {

// Extremal-phase Daubechies wavelets; member value K - 1 for order K (2K taps).
enum class DaubechiesWavelet : std::uint32_t {
  Db1 = 0,
  Db2,
  Db3,
  Db4,
  Db5,
  Db6,
  Db7,
  Db8,
  Db9,
  Db10,
  Db11,
  Db12,
  Db13,
  Db14,
  Db15,
  Db16,
  Db17,
  Db18,
  Db19,
  Db20,
  Db21,
  Db22,
  Db23,
  Db24,
};

// The 2K low-pass taps of the member, h[0] first; empty for a value outside the enumeration.
[[nodiscard]] std::span<const double> daubechies_taps(DaubechiesWavelet wavelet);

}  // namespace vibrel
