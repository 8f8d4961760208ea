#pragma once

#include <cstddef>

#include "predictive/sample_type.hpp"

namespace tessarine::frame {

// The smallest and largest finite sample (as doubles) and how many samples are finite; a
// signal without finite samples has range 0.
struct SampleRange {
  double low = 0.0;
  double high = 0.0;
  std::size_t finite = 0;

  [[nodiscard]] double span() const { return finite ? high - low : 0.0; }
};

[[nodiscard]] SampleRange sample_range(const predictive::SampleView& samples);

}  // namespace tessarine::frame
