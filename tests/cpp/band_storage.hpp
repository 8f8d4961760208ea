#pragma once

// Shared by the multi-level tests: a decomposition's bands in one array, as a decoder holds
// them for multi_idwt_consuming.

#include "vibrel/dwt.hpp"

namespace vibrel {

// The coarsest approximation, then the details from the coarsest level to the finest.
inline MultiDwtStorage<f32> storage_of(const MultiDwt<f32>& result) {
  MultiDwtStorage<f32> bands{result.levels.back().approximations,
                             result.levels.back().approximations.size(), {}};
  for (auto level = result.levels.rbegin(); level != result.levels.rend(); ++level) {
    bands.values.insert(bands.values.end(), level->details.begin(), level->details.end());
    bands.details_lengths.push_back(level->details.size());
  }
  return bands;
}

}  // namespace vibrel
