#pragma once

#include <optional>

#include "capi/tessarine.h"
#include "predictive/sample_type.hpp"

namespace tessarine::capi {

// The core's sample type of a C dtype; nothing for a value outside the enum.
[[nodiscard]] std::optional<predictive::SampleType> sample_type(tessarine_dtype dtype);
[[nodiscard]] tessarine_dtype dtype_of(predictive::SampleType type);

}  // namespace tessarine::capi
