#include "codec/compressor.hpp"

#include "codec/container.hpp"
#include "codec/header.hpp"
#include "codec/payload_encoder.hpp"
#include "codec/quantize.hpp"
#include "codec/signal_coefficients.hpp"
#include "codec/transform.hpp"

namespace tessarine {

TessarineResult<std::vector<std::uint8_t>> compress(std::span<const float> samples,
                                                    const CompressionOptions& options) {
  const auto valid = check_request(samples.size(), options);
  if (!valid) return std::unexpected(valid.error());
  // Declared first so that it is released last.
  const vibrel::DwtHandle<float> executor = make_transform(options.method);
  auto signal = quantize_signal(*executor, samples, options);
  if (!signal) return std::unexpected(signal.error());
  auto payload = encode_payload(coefficients_as_bytes(signal->coefficients), options.coder);
  if (!payload) return std::unexpected(payload.error());
  std::vector<std::int16_t>().swap(signal->coefficients);
  return assemble_container(header_for(options, *signal, samples.size(), payload->coder),
                            payload->bytes);
}

}  // namespace tessarine
