#include "codec/payload_decoder.hpp"

#include <optional>
#include <string>

#include "codec/header.hpp"
#include "codec/raw_deflate.hpp"
#include "entropy/arans.hpp"

namespace tessarine {
namespace {

// Streams shorter than this are stored raw by the rANS framing.
constexpr std::size_t kMinCodedStream = 6;
constexpr std::size_t kPairCountAt = 2;

TessarineError too_few_coefficients(std::uint64_t held_bytes, std::uint64_t needed_bytes) {
  return TessarineError::decompression("Payload holds " + std::to_string(held_bytes / 2) +
                                       " coefficients but the header needs " +
                                       std::to_string(needed_bytes / 2));
}

// Bytes the stream will decode to, read from its framing without decoding it. Unknown when
// the framing itself is broken: decode_stream then reports that with its own text.
std::optional<std::uint64_t> declared_stream_size(std::span<const std::uint8_t> stream) {
  if (stream.size() < kMinCodedStream) return stream.size();
  std::size_t position = kPairCountAt;
  const auto pairs = arans::rv(stream, position);
  if (!pairs || *pairs > arans::kMaxPairCount) return std::nullopt;
  return 2 * *pairs + (stream[0] & 1u);
}

[[nodiscard]] TessarineResult<std::vector<std::uint8_t>> decode_arans(
    std::span<const std::uint8_t> payload, std::uint64_t needed_bytes) {
  const auto declared = declared_stream_size(payload);
  if (declared && *declared < needed_bytes) {
    return std::unexpected(too_few_coefficients(*declared, needed_bytes));
  }
  auto decoded = arans::decode_stream(payload);
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
