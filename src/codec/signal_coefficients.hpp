#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "codec/error.hpp"
#include "codec/header.hpp"
#include "codec/normalize.hpp"
#include "codec/options.hpp"
#include "vibrel/executor.hpp"

namespace tessarine {

// Everything the encoder knows before entropy coding; lossless from here on.
struct QuantizedSignal {
  // Coarsest approximation band, then the detail bands finest first.
  std::vector<std::int16_t> coefficients;
  Normalization values;
  std::uint32_t levels;
};

// The request checks every encoder runs first: size limits, then option codes.
[[nodiscard]] TessarineResult<void> check_request(std::size_t sample_count,
                                                  const CompressionOptions& options);

// Sanitises, normalises, transforms and quantises `samples` with `executor` (the method's).
[[nodiscard]] TessarineResult<QuantizedSignal> quantize_signal(
    const vibrel::DwtExecutor<float>& executor, std::span<const float> samples,
    const CompressionOptions& options);

// Where compress and reconstruct both start: the request checked, then the samples quantised
// with the method's executor.
struct QuantizedRequest {
  vibrel::DwtHandle<float> executor;  // declared first so that it is released last
  QuantizedSignal signal;
};
[[nodiscard]] TessarineResult<QuantizedRequest> quantize_request(std::span<const float> samples,
                                                                 const CompressionOptions& options);

// The header that describes `signal` of `sample_count` samples, whose payload the coder with
// header byte `coder` wrote; payload_len is left 0.
[[nodiscard]] TessarineHeader header_for(const CompressionOptions& options,
                                         const QuantizedSignal& signal, std::size_t sample_count,
                                         std::uint8_t coder);

}  // namespace tessarine
