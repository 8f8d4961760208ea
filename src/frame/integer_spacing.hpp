#pragma once

#include <cstdint>

#include "predictive/sample_type.hpp"

namespace tessarine::frame {

// The greatest common divisor of every integer sample's distance to the least one: a 12-bit
// converter in a 16-bit word gives 16, most signals 1. 0 for floats and for signals of one
// value. One pass over the samples.
[[nodiscard]] std::uint64_t integer_spacing(const predictive::SampleView& samples);

}  // namespace tessarine::frame
