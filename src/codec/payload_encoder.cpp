#include "codec/payload_encoder.hpp"

#include <string>

#include "codec/header.hpp"
#include "codec/raw_deflate.hpp"
#include "entropy/arans.hpp"

namespace tessarine {

TessarineResult<EncodedPayload> encode_payload(std::span<const std::uint8_t> bytes, Coder coder) {
  if (coder == Coder::Deflate) {
    auto deflated = deflate_raw(bytes);
    if (!deflated) return std::unexpected(deflated.error());
    return EncodedPayload{std::move(*deflated), kCoderDeflate};
  }
  if (bytes.size() > arans::kMaxStreamInputBytes) {
    return std::unexpected(TessarineError::unsupported_configuration(
        "Can't code " + std::to_string(bytes.size()) +
        " coefficient bytes with the arans coder, the most it takes is " +
        std::to_string(arans::kMaxStreamInputBytes) + "; use the deflate coder"));
  }
  return EncodedPayload{arans::encode_stream(bytes), kCoderArans};
}

}  // namespace tessarine
