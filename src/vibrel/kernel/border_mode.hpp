#pragma once

#include <cstdint>

namespace vibrel {

// How a filter reads positions outside the signal. Stored as a 32-bit value in executor
// records; the numbering is part of that layout.
enum class BorderMode : std::uint32_t {
  Clamp = 0,       // the edge sample repeated
  Wrap = 1,        // periodic extension
  Reflect = 2,     // mirror that repeats the edge sample: x1 x0 | x0 x1
  Reflect101 = 3,  // mirror that skips the edge sample: x2 x1 | x0 x1
  Constant = 4,    // zeros
};

}  // namespace vibrel
