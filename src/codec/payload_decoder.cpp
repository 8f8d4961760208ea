#include "codec/payload_decoder.hpp"

#include <string>

#include "codec/header.hpp"
#include "codec/raw_deflate.hpp"
#include "entropy/arans.hpp"

namespace tessarine {
namespace {

TessarineError too_few_coefficients(std::uint64_t held_bytes, std::uint64_t needed_bytes) {
  return TessarineError::decompression("Payload holds " + std::to_string(held_bytes / 2) +
                                       " coefficients but the header needs " +
                                       std::to_string(needed_bytes / 2));
}

// The whole stream is decoded, so its own errors come first; only the bytes the layout uses
// are kept, so a stream that declares more than it needs costs no more memory than that.
[[nodiscard]] TessarineResult<std::vector<std::uint8_t>> decode_arans(
    std::span<const std::uint8_t> payload, std::uint64_t needed_bytes) {
  auto decoded = arans::decode_stream(payload, needed_bytes);
  if (!decoded) return std::unexpected(TessarineError::decompression(decoded.error().display()));
  return std::move(*decoded);
}

}  // namespace

TessarineResult<std::vector<std::uint8_t>> decode_payload(std::span<const std::uint8_t> payload,
                                                          std::uint8_t coder,
                                                          std::uint64_t needed_bytes) {
  auto decoded = coder == kCoderArans ? decode_arans(payload, needed_bytes)
                                      : inflate_raw(payload, needed_bytes);
  if (!decoded) return std::unexpected(decoded.error());
  if (decoded->size() < needed_bytes) {
    return std::unexpected(too_few_coefficients(decoded->size(), needed_bytes));
  }
  return decoded;
}

}  // namespace tessarine
