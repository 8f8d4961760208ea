#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "codec/error.hpp"
#include "codec/header.hpp"
#include "codec/normalize.hpp"
#include "vibrel/dwt.hpp"
#include "vibrel/executor.hpp"

namespace tessarine {

// Band lengths of the bands a container stores, finest level first. Signals shorter than the
// filter were stored as one level of their periodic extension to the filter length;
// everything else decomposes sample_count samples into `levels` levels.
[[nodiscard]] std::vector<vibrel::DwtSize> stored_layout(const vibrel::DwtExecutor<float>& executor,
                                                         std::uint32_t sample_count,
                                                         std::uint8_t levels);

// Reads the little-endian coefficient bytes (at least 2 * coefficient_count(layout)), which
// hold the coarsest approximation and then the details finest first, and scales them back by
// 2^-scale into one array ordered as the inverse transform reuses it (coarsest band first).
[[nodiscard]] vibrel::MultiDwtStorage<float> dequantize_bands(
    std::span<const std::uint8_t> coefficient_bytes, const std::vector<vibrel::DwtSize>& layout,
    std::uint8_t scale);

// Inverse transform, then the normalisation the header records is undone: exactly
// header.sample_count samples. The bands' array may become the result.
[[nodiscard]] TessarineResult<std::vector<float>> synthesize_signal(
    const vibrel::DwtExecutor<float>& executor, vibrel::MultiDwtStorage<float>&& bands,
    const TessarineHeader& header);
// The same from the normalisation and count themselves, for callers without a header.
[[nodiscard]] TessarineResult<std::vector<float>> synthesize_signal(
    const vibrel::DwtExecutor<float>& executor, vibrel::MultiDwtStorage<float>&& bands,
    const Normalization& values, std::uint32_t sample_count);

}  // namespace tessarine
