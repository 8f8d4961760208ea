#include "codec/quantize.hpp"

#include <array>
#include <bit>
#include <cmath>
#include <cstddef>

namespace tessarine {
namespace {

constexpr std::array<std::uint16_t, 7> kBaseThreshold{0, 0, 1, 1, 2, 2, 3};
constexpr std::array<std::uint16_t, 3> kCutoffFactor{1, 3, 7};

// 2^exponent exactly, for |exponent| well inside the f32 range.
float power_of_two(int exponent) {
  return std::ldexp(1.0f, exponent);
}

}  // namespace

std::uint16_t base_threshold(std::uint8_t scale) {
  if (scale < kMinScale || scale > kMaxScale) return 0;
  return kBaseThreshold[scale - kMinScale];
}

std::uint16_t detail_threshold(std::uint8_t scale, Cutoff cutoff) {
  const auto index = static_cast<std::size_t>(cutoff);
  const std::uint16_t factor = index < kCutoffFactor.size() ? kCutoffFactor[index] : 1;
  return static_cast<std::uint16_t>(base_threshold(scale) * factor);
}

void quantize_band(std::span<const float> band, std::uint8_t scale, std::uint16_t threshold,
                   std::span<std::int16_t> out) {
  const float step = power_of_two(scale);
  const std::size_t n = band.size();
  for (std::size_t i = 0; i < n; ++i) {
    float p = band[i] * step;
    // Written so that NaN (never produced from finite input) also lands inside the range
    // instead of reaching an undefined conversion.
    p = p >= -32768.0f ? p : -32768.0f;
    p = p <= 32767.0f ? p : 32767.0f;
    out[i] = static_cast<std::int16_t>(static_cast<std::int32_t>(p));
  }
  if (threshold == 0) return;
  for (std::size_t i = 0; i < n; ++i) {
    const std::int32_t q = out[i];
    const auto magnitude = static_cast<std::uint16_t>(q < 0 ? -q : q);
    out[i] = magnitude < threshold ? std::int16_t{0} : out[i];
  }
}

void dequantize_band(std::span<const std::uint8_t> bytes, std::uint8_t scale,
                     std::span<float> out) {
  const float factor = power_of_two(-static_cast<int>(scale));
  const std::size_t n = out.size();
  for (std::size_t i = 0; i < n; ++i) {
    const auto low = static_cast<std::uint16_t>(bytes[2 * i]);
    const auto high = static_cast<std::uint16_t>(bytes[2 * i + 1]);
    const auto q = static_cast<std::int16_t>(static_cast<std::uint16_t>(low | high << 8));
    out[i] = static_cast<float>(q) * factor;
  }
}

std::span<const std::uint8_t> coefficients_as_bytes(std::span<std::int16_t> coefficients) {
  if constexpr (std::endian::native == std::endian::big) {
    for (std::int16_t& c : coefficients) c = std::byteswap(c);
  }
  return {reinterpret_cast<const std::uint8_t*>(coefficients.data()), 2 * coefficients.size()};
}

}  // namespace tessarine
