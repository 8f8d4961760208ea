#include "codec/reconstruct.hpp"

#include <utility>

#include "codec/header.hpp"
#include "codec/quantize.hpp"
#include "codec/signal_coefficients.hpp"
#include "codec/signal_synthesis.hpp"
#include "codec/transform.hpp"

namespace tessarine {

TessarineResult<std::vector<float>> reconstruct(std::span<const float> samples,
                                                const CompressionOptions& options) {
  const auto valid = check_request(samples.size(), options);
  if (!valid) return std::unexpected(valid.error());
  // Declared first so that it is released last.
  const vibrel::DwtHandle<float> executor = make_transform(options.method);
  auto signal = quantize_signal(*executor, samples, options);
  if (!signal) return std::unexpected(signal.error());
  const TessarineHeader header = header_for(options, *signal, samples.size(),
                                                coder_for_option(options.coder)->header_byte);
  vibrel::MultiDwtStorage<float> bands;
  {
    // The decoder reads the same little-endian image the entropy coder would have carried.
    const auto bytes = coefficients_as_bytes(signal->coefficients);
    bands = dequantize_bands(bytes, stored_layout(*executor, header.sample_count, header.levels),
                             header.scale);
  }
  std::vector<std::int16_t>().swap(signal->coefficients);
  return synthesize_signal(*executor, std::move(bands), header);
}

}  // namespace tessarine
