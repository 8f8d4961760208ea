#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "vibrel/dwt.hpp"
#include "vibrel/executor.hpp"

namespace tessarine {

// Decomposition depth for signals of 80 samples and more: about log2(n / filter_length),
// between 1 and 8. Not monotonic in n (a 10-tap filter uses 4 levels for 60..79 samples but
// 3 for 80); containers depend on this rule, so it must not be "fixed".
[[nodiscard]] std::uint32_t compute_max_levels(std::size_t n, std::size_t filter_length);

// Depth the compressor uses for n input samples (the length before any short-signal
// extension): fixed steps below 80 samples, compute_max_levels above.
[[nodiscard]] std::uint32_t decomposition_levels(std::size_t n, std::size_t filter_length);

// Band lengths of a `levels`-deep decomposition of `length` samples, finest level first, as
// the executor's dwt_size gives them. `levels` entries only: nothing proportional to `length`.
[[nodiscard]] std::vector<vibrel::DwtSize> band_layout(const vibrel::DwtExecutor<float>& executor,
                                                       std::size_t length, std::size_t levels);

// Number of coefficients a container with this layout stores: the coarsest approximation band
// plus every detail band.
[[nodiscard]] std::uint64_t coefficient_count(const std::vector<vibrel::DwtSize>& layout);

}  // namespace tessarine
