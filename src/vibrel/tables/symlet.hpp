#pragma once

#include <cstdint>
#include <span>

namespace vibrel {

// Least-asymmetric Daubechies wavelets; member value K - 2 for order K (2K taps).
enum class SymletWavelet : std::uint32_t {
  Sym2 = 0,
  Sym3,
  Sym4,
  Sym5,
  Sym6,
  Sym7,
  Sym8,
  Sym9,
  Sym10,
  Sym11,
  Sym12,
  Sym13,
  Sym14,
  Sym15,
  Sym16,
  Sym17,
  Sym18,
  Sym19,
  Sym20,
};

// The 2K low-pass taps of the member, h[0] first; empty for a value outside the enumeration.
[[nodiscard]] std::span<const double> symlet_taps(SymletWavelet wavelet);

}  // namespace vibrel
