#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "codec/options.hpp"

namespace tessarine {

// Dead-zone width for detail coefficients at `scale` (6..12): 0, 0, 1, 1, 2, 2, 3 quantisation
// steps, tripled for Medium and multiplied by seven for High.
[[nodiscard]] std::uint16_t base_threshold(std::uint8_t scale);
[[nodiscard]] std::uint16_t detail_threshold(std::uint8_t scale, Cutoff cutoff);

// q = trunc(clamp(x * 2^scale, -32768, 32767)) for every x; then, when `threshold` > 0, every
// q whose magnitude (as an unsigned 16-bit value, so -32768 counts as 32768) is below
// `threshold` becomes 0. `out` has the length of `band`.
void quantize_band(std::span<const float> band, std::uint8_t scale, std::uint16_t threshold,
                   std::span<std::int16_t> out);

// Reads out.size() little-endian 16-bit coefficients q from `bytes` (at least twice as long)
// and writes x = float(q) * 2^-scale.
void dequantize_band(std::span<const std::uint8_t> bytes, std::uint8_t scale, std::span<float> out);

// The little-endian byte image of the coefficients, two bytes each, low byte first, made in
// place (a no-op on little-endian hosts) and viewed through the same storage.
[[nodiscard]] std::span<const std::uint8_t> coefficients_as_bytes(
    std::span<std::int16_t> coefficients);

}  // namespace tessarine
