#pragma once

#include <cstdint>

#include "vibrel/kernel/border_mode.hpp"

namespace vibrel::testing {

__extension__ typedef __int128 Wide;

// The border table written out with hardware division on 128-bit integers, so negating or
// offsetting any 64-bit position is exact. Returns the index read, or -1 for zero.
inline std::int64_t reference_border_index(BorderMode mode, std::int64_t position,
                                           std::int64_t length) {
  const Wide i = position;
  const Wide a = length;
  if (i >= 0 && i < a) return position;
  const auto mod = [](Wide v, Wide d) { return ((v % d) + d) % d; };
  Wide index = -1;
  switch (mode) {
    case BorderMode::Clamp:
      index = i < 0 ? 0 : a - 1;
      break;
    case BorderMode::Wrap:
      index = mod(i, a);
      break;
    case BorderMode::Reflect:
      index = i < 0 ? mod(-i - 1, a) : a - 1 - mod(i, a);
      break;
    case BorderMode::Reflect101:
      if (a == 1) {
        index = 0;
      } else if (i < 0) {
        const Wide m = mod(-i, a - 1);
        index = m != 0 ? m : a - 1;
      } else {
        // The mirror about x[a - 1] without repeating it: i = a + k reads x[a - 2 - k] for
        // k < a - 1, then repeats with period a - 1.
        index = a - 2 - mod(i - a, a - 1);
      }
      break;
    case BorderMode::Constant:
      break;
  }
  return static_cast<std::int64_t>(index);
}

inline constexpr BorderMode kAllBorderModes[] = {BorderMode::Clamp, BorderMode::Wrap,
                                                  BorderMode::Reflect, BorderMode::Reflect101,
                                                  BorderMode::Constant};

}  // namespace vibrel::testing
