#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "predictive/float_quantiser.hpp"

namespace tessarine::predictive {
namespace {

// Where the rounded difference equals the bound, only the exact one may decide.
TEST(WithinBound, DecidesInExactArithmeticAtTheEdge) {
  struct Case {
    double x, y, bound;
    bool within;
  };
  const double one_up = 1.0 + 0x1p-52;
  const Case cases[] = {
      {one_up, -0x1p-54, one_up, false},  // exact 1 + 1.25 ulp rounds down to the bound
      {one_up, 0x1p-54, one_up, true},    // exact 1 + 0.75 ulp rounds up to the bound
      {-one_up, 0x1p-54, one_up, false},
      {-one_up, -0x1p-54, one_up, true},
      {3.0, 2.0, 1.0, true},
      {3.0, 2.0, std::nextafter(1.0, 0.0), false},
      {0.0, -0.0, 0.0, true},
      {std::numeric_limits<double>::infinity(), 1.0, 1e300, false},
      {std::nan(""), 1.0, 1e300, false},
      {std::numeric_limits<double>::max(), -std::numeric_limits<double>::max(), 1e308, false},
  };
  for (const Case& c : cases) EXPECT_EQ(within_bound(c.x, c.y, c.bound), c.within) << c.x << " " << c.y;
}

}  // namespace
}  // namespace tessarine::predictive
