#pragma once

#include <cmath>
#include <cstdint>

namespace tessarine::frame {

// The error bounds a caller asked for; NaN marks one not given. Every given bound holds:
// max_error per sample, rel_error per sample as a fraction of the finite samples' range
// (max - min), psnr over the finite samples against that range.
struct Bound {
  double max_error = NAN;
  double rel_error = NAN;
  double psnr = NAN;

  [[nodiscard]] bool has_max_error() const { return !std::isnan(max_error); }
  [[nodiscard]] bool has_rel_error() const { return !std::isnan(rel_error); }
  [[nodiscard]] bool has_psnr() const { return !std::isnan(psnr); }
  [[nodiscard]] bool given() const { return has_max_error() || has_rel_error() || has_psnr(); }

  [[nodiscard]] std::uint8_t flags() const {
    return static_cast<std::uint8_t>(has_max_error() | has_rel_error() << 1 | has_psnr() << 2);
  }
};

}  // namespace tessarine::frame
