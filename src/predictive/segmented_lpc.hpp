#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "predictive/lpc.hpp"
#include "predictive/sample_type.hpp"

namespace tessarine::predictive {

// 8- and 16-bit integer samples of a segmented chunk (lpc.hpp) on the grid origin + v * spacing
// (taken to the type's width), each value v being p + r taken to the type (sign-extended or
// masked), with `level` already a value of the type. Runs the four segments side by side in
// 32-bit lanes and writes codes.size() samples to `out`. False when it cannot vouch for the
// result: some lane's sum could have left 32 bits, an unsigned 16-bit value does not fit 15
// bits, the type is another, or the machine lacks the instructions; the caller then runs the
// exact loop, which writes every sample again.
[[nodiscard]] bool decode_segments_small(std::span<const std::uint64_t> codes,
                                         const LpcFilter& filter, std::int64_t level,
                                         SampleType type, std::uint16_t origin,
                                         std::uint16_t spacing, std::byte* out);

}  // namespace tessarine::predictive
