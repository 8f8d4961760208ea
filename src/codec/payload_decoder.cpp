#include "codec/payload_decoder.hpp"

#include <string>

#include "codec/payload_coders.hpp"

namespace tessarine {
namespace {

TessarineError too_few_coefficients(std::uint64_t held_bytes, std::uint64_t needed_bytes) {
  return TessarineError::decompression("Payload holds " + std::to_string(held_bytes / 2) +
                                       " coefficients but the header needs " +
                                       std::to_string(needed_bytes / 2));
}

}  // namespace

TessarineResult<std::vector<std::uint8_t>> decode_payload(std::span<const std::uint8_t> payload,
                                                          std::uint8_t coder,
                                                          std::uint64_t needed_bytes) {
  const PayloadCoder* entry = coder_for_header_byte(coder);
  if (!entry) return std::unexpected(TessarineError::unknown_coder(coder));
  auto decoded = entry->decode(payload, needed_bytes);
  if (!decoded) return std::unexpected(decoded.error());
  if (decoded->size() < needed_bytes) {
    return std::unexpected(too_few_coefficients(decoded->size(), needed_bytes));
  }
  return decoded;
}

}  // namespace tessarine
