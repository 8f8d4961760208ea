#include "codec/payload_encoder.hpp"

#include <string>

#include "codec/payload_coders.hpp"

namespace tessarine {

TessarineResult<EncodedPayload> encode_payload(std::span<const std::uint8_t> bytes, Coder coder) {
  const PayloadCoder* entry = coder_for_option(coder);
  if (!entry) {
    return std::unexpected(TessarineError::unsupported_configuration(
        "Unknown coder code " + std::to_string(static_cast<int>(coder))));
  }
  auto encoded = entry->encode(bytes);
  if (!encoded) return std::unexpected(encoded.error());
  return EncodedPayload{std::move(*encoded), entry->header_byte};
}

}  // namespace tessarine
