#include "vibrel/filter_bank/low_pass_to_high.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace vibrel {
namespace {

std::vector<std::uint32_t> bits_of(const std::vector<f32>& values) {
  std::vector<std::uint32_t> bits;
  for (f32 v : values) bits.push_back(std::bit_cast<std::uint32_t>(v));
  return bits;
}

std::vector<f32> from_bits(const std::vector<std::uint32_t>& bits) {
  std::vector<f32> values;
  for (std::uint32_t b : bits) values.push_back(std::bit_cast<f32>(b));
  return values;
}

TEST(LowPassToHigh, ReversesAndNegatesOddPositionsBitExactly) {
  constexpr f32 kNaN = std::numeric_limits<f32>::quiet_NaN();
  // The f32 Daubechies order-4 taps by their bit patterns.
  const std::vector<f32> db4 = from_bits({0x3E6BE829, 0x3F37002F, 0x3F218167, 0xBCE53E38,
                                          0xBE3F860E, 0x3CFCA711, 0x3D06B056, 0xBC2DA0BA});
  struct Case {
    std::vector<f32> low;
    std::vector<f32> high;
  };
  const std::vector<Case> cases = {
      {{}, {}},
      {{0.70710677f, 0.70710677f}, {0.70710677f, -0.70710677f}},
      {{1.0f, 2.0f, 3.0f, 4.0f}, {4.0f, -3.0f, 2.0f, -1.0f}},
      // g = (h7, -h6, h5, -h4, h3, -h2, h1, -h0)
      {db4, from_bits({0xBC2DA0BA, 0xBD06B056, 0x3CFCA711, 0x3E3F860E, 0xBCE53E38, 0xBF218167,
                       0x3F37002F, 0xBE6BE829})},
      // A sign flip, not a multiplication: zero becomes -0 and NaN keeps its payload.
      {{kNaN, 0.0f}, {0.0f, -kNaN}},
      {{0.0f, 5.0f}, {5.0f, -0.0f}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(bits_of(low_pass_to_high(c.low)), bits_of(c.high)) << c.low.size() << " taps";
  }
}

}  // namespace
}  // namespace vibrel
