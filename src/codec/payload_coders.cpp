#include "codec/payload_coders.hpp"

#include <string>

#include "entropy/arans.hpp"

namespace tessarine {

TessarineResult<std::vector<std::uint8_t>> encode_arans_payload(
    std::span<const std::uint8_t> bytes) {
  // The stream's length fields cannot describe more; such a container no decoder accepts.
  if (bytes.size() > arans::kMaxStreamInputBytes) {
    return std::unexpected(TessarineError::unsupported_configuration(
        "Can't code " + std::to_string(bytes.size()) +
        " coefficient bytes with the arans coder, the most it takes is " +
        std::to_string(arans::kMaxStreamInputBytes) + "; use the deflate coder"));
  }
  return arans::encode_stream(bytes);
}

TessarineResult<std::vector<std::uint8_t>> decode_arans_payload(
    std::span<const std::uint8_t> payload, std::size_t max_output) {
  // The whole stream is decoded, so its own errors come before any check of the layout.
  auto decoded = arans::decode_stream(payload, max_output);
  if (!decoded) return std::unexpected(TessarineError::decompression(decoded.error().display()));
  return std::move(*decoded);
}

}  // namespace tessarine
