#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "predictive/lpc.hpp"

namespace tessarine::predictive {

// 16-bit samples of a segmented chunk (lpc.hpp) on the grid origin + v * spacing, each value v
// being p + r taken to 16 bits (sign-extended when `values_signed`, else masked), with
// `level` already a value of that kind. Runs the four segments side by side in 32-bit lanes
// and writes the samples' low 16 bits to `out` (codes.size() samples). False when it cannot
// vouch for the result: some lane's sum could have left 32 bits (or an unsigned value does
// not fit 15), or the machine lacks the instructions; the caller then runs the exact loop,
// which writes every sample again.
[[nodiscard]] bool decode_segments_16(std::span<const std::uint64_t> codes, const LpcFilter& filter,
                                      std::int64_t level, bool values_signed, std::uint16_t origin,
                                      std::uint16_t spacing, std::byte* out);

}  // namespace tessarine::predictive
