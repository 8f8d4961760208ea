#pragma once

#include "codec/options.hpp"
#include "vibrel/executor.hpp"

namespace tessarine {

// The wavelet engine executor for a method; the same mapping serves encoder and decoder.
// The 8-tap orthogonal wavelets use periodic borders. Null only for a value outside the
// enum (reachable only through a cast).
[[nodiscard]] vibrel::DwtHandle<float> make_transform(Method method);

}  // namespace tessarine
