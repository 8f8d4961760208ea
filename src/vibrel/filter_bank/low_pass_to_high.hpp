#pragma once

#include <span>
#include <vector>

#include "vibrel/dwt.hpp"

namespace vibrel {

// Quadrature-mirror high-pass taps of an orthogonal low-pass filter:
//   g[k] = (-1)^k * h[N - 1 - k]
// The sign change flips the IEEE sign bit, so it is exact for every value (zeros, NaN).
// An empty filter gives an empty result.
[[nodiscard]] std::vector<f32> low_pass_to_high(std::span<const f32> low_pass);

}  // namespace vibrel
