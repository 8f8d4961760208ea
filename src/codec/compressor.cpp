#include "codec/compressor.hpp"

#include "codec/container.hpp"
#include "codec/header.hpp"
#include "codec/payload_encoder.hpp"
#include "codec/quantize.hpp"
#include "codec/signal_coefficients.hpp"

namespace tessarine {

TessarineResult<std::vector<std::uint8_t>> compress(std::span<const float> samples,
                                                    const CompressionOptions& options) {
  auto request = quantize_request(samples, options);
  if (!request) return std::unexpected(request.error());
  QuantizedSignal& signal = request->signal;
  auto payload = encode_payload(coefficients_as_bytes(signal.coefficients), options.coder);
  if (!payload) return std::unexpected(payload.error());
  std::vector<std::int16_t>().swap(signal.coefficients);
  return assemble_container(header_for(options, signal, samples.size(), payload->coder),
                            payload->bytes);
}

}  // namespace tessarine
