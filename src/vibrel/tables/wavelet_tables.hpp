#pragma once

#include <span>
#include <vector>

#include "vibrel/dwt.hpp"
#include "vibrel/error.hpp"

namespace vibrel {

// The taps an executor receives: each double rounded to the nearest f32, ties to even.
// Fails only with AllocationFailure.
[[nodiscard]] VibrelResult<std::vector<f32>> taps_to_f32(std::span<const double> taps);

}  // namespace vibrel
