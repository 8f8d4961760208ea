#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace tessarine::predictive {

// Reconstruction error over the finite samples, as the decoder will return them.
struct ErrorStats {
  double max_abs = 0.0;
  double sum_squared = 0.0;
  std::size_t finite = 0;

  void add(double error) {
    max_abs = std::max(max_abs, std::fabs(error));
    sum_squared += error * error;
  }
};

}  // namespace tessarine::predictive
