#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

#include "predictive/half_float.hpp"

namespace tessarine::predictive {

// The caller's float type: its storage and exact conversions to and from double. narrow rounds
// to nearest even and saturates to infinity explicitly, so no conversion is out of range. put
// writes a sample to an unaligned output position.
struct HalfFormat {
  using Storage = std::uint16_t;
  static constexpr double kUnitRoundoff = 0x1p-11;
  static double widen(Storage s) { return half_to_double(s); }
  static Storage narrow(double y) { return double_to_half(y); }
  static bool finite(Storage s) { return (s & 0x7C00u) != 0x7C00u; }
  static void put(std::byte* at, Storage s) { std::memcpy(at, &s, sizeof s); }
};

struct SingleFormat {
  using Storage = float;
  static constexpr double kUnitRoundoff = 0x1p-24;
  static double widen(Storage s) { return s; }
  static Storage narrow(double y) {
    // Halfway between the largest float and 2^128: at or above it the nearest float is infinity.
    if (std::fabs(y) < 0x1.ffffffp127) [[likely]]
      return static_cast<float>(y);
    return narrow_beyond(y);
  }
  static bool finite(Storage s) { return std::isfinite(s); }
  // Straight from the vector register: a memcpy compiled to a move through a general register
  // and a store, 3% of a decode at loose bounds.
  static void put(std::byte* at, Storage s) {
#if defined(__SSE__)
    _mm_store_ss(reinterpret_cast<float*>(at), _mm_set_ss(s));
#else
    std::memcpy(at, &s, sizeof s);
#endif
  }

 private:
  // Out of line, so that the usual case stores its result straight from a vector register.
  [[gnu::cold, gnu::noinline]] static Storage narrow_beyond(double y) {
    if (std::isnan(y)) return std::numeric_limits<float>::quiet_NaN();
    return y > 0.0 ? std::numeric_limits<float>::infinity() : -std::numeric_limits<float>::infinity();
  }
};

struct DoubleFormat {
  using Storage = double;
  static constexpr double kUnitRoundoff = 0x1p-53;
  static double widen(Storage s) { return s; }
  static Storage narrow(double y) { return y; }
  static bool finite(Storage s) { return std::isfinite(s); }
  static void put(std::byte* at, Storage s) { std::memcpy(at, &s, sizeof s); }
};

}  // namespace tessarine::predictive
