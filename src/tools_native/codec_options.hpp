#pragma once

#include <nanobind/nanobind.h>

#include "codec/options.hpp"

namespace tessarine::tools {

// Options from their integer codes; a code outside its range raises ValueError naming it.
[[nodiscard]] CompressionOptions options_from_codes(int method, int scale, int cutoff, int coder);

// The codec's name tables as tuples in code order (METHODS, CUTOFFS, CODERS) and the range of
// scales (MIN_SCALE, MAX_SCALE), so the Python package holds no copy of them.
void add_setting_names(nanobind::module_& module);

}  // namespace tessarine::tools
