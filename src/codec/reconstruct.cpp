#include "codec/reconstruct.hpp"

#include <utility>

#include "codec/quantize.hpp"
#include "codec/signal_coefficients.hpp"
#include "codec/signal_synthesis.hpp"

namespace tessarine {

TessarineResult<std::vector<float>> reconstruct(std::span<const float> samples,
                                                const CompressionOptions& options) {
  auto request = quantize_request(samples, options);
  if (!request) return std::unexpected(request.error());
  const vibrel::DwtExecutor<float>& executor = *request->executor;
  QuantizedSignal& signal = request->signal;
  // check_request capped the count below 2^31 and the levels at 8.
  const auto count = static_cast<std::uint32_t>(samples.size());
  vibrel::MultiDwtStorage<float> bands;
  {
    // The decoder reads the same little-endian image the entropy coder would have carried.
    const auto bytes = coefficients_as_bytes(signal.coefficients);
    bands = dequantize_bands(
        bytes, stored_layout(executor, count, static_cast<std::uint8_t>(signal.levels)),
        options.scale);
  }
  std::vector<std::int16_t>().swap(signal.coefficients);
  return synthesize_signal(executor, std::move(bands), signal.values, count);
}

}  // namespace tessarine
