#include "vibrel/tables/wavelet_tables.hpp"

#include <stdexcept>  // alloc.hpp catches std::length_error without including it

#include "vibrel/zeroed_vector.hpp"

namespace vibrel {

VibrelResult<std::vector<f32>> taps_to_f32(std::span<const double> taps) {
  VibrelResult<std::vector<f32>> converted = zeroed_vector<f32>(taps.size());
  if (!converted) return std::unexpected(converted.error());
  // The conversion rounds to nearest, ties to even, under the default floating-point mode.
  for (std::size_t k = 0; k < taps.size(); ++k) (*converted)[k] = static_cast<f32>(taps[k]);
  return converted;
}

}  // namespace vibrel
