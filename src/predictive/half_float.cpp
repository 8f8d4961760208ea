#include "predictive/half_float.hpp"

#include <bit>
#include <cmath>

namespace tessarine::predictive {
namespace {

// 2^k for the normal exponent range, built from its bits so it is exact without a library call.
double power_of_two(int k) {
  return std::bit_cast<double>(static_cast<std::uint64_t>(k + 1023) << 52);
}

// Nearest integer, ties to even, for 0 <= v < 2^52: adding 2^52 leaves no fraction bits and the
// default rounding mode rounds the sum.
double round_half_even(double v) { return (v + 0x1p52) - 0x1p52; }

}  // namespace

double half_to_double(std::uint16_t half) {
  const std::uint64_t sign = std::uint64_t{half} >> 15;
  const unsigned exponent = (half >> 10) & 0x1Fu;
  const unsigned mantissa = half & 0x3FFu;
  if (exponent == 0x1F) {
    // Infinities and NaNs: same payload bits at the top of the wider mantissa.
    return std::bit_cast<double>((sign << 63) | (std::uint64_t{0x7FF} << 52) |
                                 (std::uint64_t{mantissa} << 42));
  }
  const double magnitude = exponent == 0
                               ? static_cast<double>(mantissa) * 0x1p-24
                               : static_cast<double>(1024u + mantissa) *
                                     power_of_two(static_cast<int>(exponent) - 25);
  return sign ? -magnitude : magnitude;
}

std::uint16_t double_to_half(double value) {
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
  const auto sign = static_cast<std::uint16_t>((bits >> 48) & 0x8000u);
  const double magnitude = std::fabs(value);
  if (std::isnan(value)) {
    return static_cast<std::uint16_t>(sign | 0x7E00u | ((bits >> 42) & 0x3FFu));
  }
  // 65520 is halfway between the largest half (65504) and 2^16; the tie goes to the even 2^16.
  if (!(magnitude < 65520.0)) return static_cast<std::uint16_t>(sign | 0x7C00u);
  if (magnitude < 0x1p-14) {
    // Subnormal: a count of 2^-24; a count of 1024 is the smallest normal's encoding.
    return static_cast<std::uint16_t>(sign | static_cast<unsigned>(round_half_even(magnitude * 0x1p24)));
  }
  const int exponent = static_cast<int>(std::bit_cast<std::uint64_t>(magnitude) >> 52) - 1023;
  // m in [1024, 2048]; 2048 carries into the exponent field, which the sum below does itself.
  const auto m = static_cast<unsigned>(round_half_even(magnitude * power_of_two(10 - exponent)));
  return static_cast<std::uint16_t>(sign | ((static_cast<unsigned>(exponent + 15) << 10) + (m - 1024u)));
}

}  // namespace tessarine::predictive
