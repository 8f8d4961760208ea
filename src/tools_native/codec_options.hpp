#pragma once

#include "codec/options.hpp"

namespace tessarine::tools {

// Options from their integer codes; a code outside its range raises ValueError naming it.
[[nodiscard]] CompressionOptions options_from_codes(int method, int scale, int cutoff, int coder);

}  // namespace tessarine::tools
