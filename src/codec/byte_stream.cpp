#include "codec/byte_stream.hpp"

#include <string>

#include "entropy/arans.hpp"

namespace tessarine {

std::uint64_t max_byte_stream_input() noexcept { return arans::kMaxStreamInputBytes; }

TessarineResult<std::vector<std::uint8_t>> encode_byte_stream(
    std::span<const std::uint8_t> input) {
  if (input.size() > arans::kMaxStreamInputBytes) {
    return std::unexpected(TessarineError::unsupported_configuration(
        "Can't encode more than " + std::to_string(arans::kMaxStreamInputBytes) +
        " bytes, but data was " + std::to_string(input.size())));
  }
  return arans::encode_stream(input);
}

TessarineResult<std::vector<std::uint8_t>> decode_byte_stream(
    std::span<const std::uint8_t> stream) {
  auto decoded = arans::decode_stream(stream);
  if (!decoded) return std::unexpected(TessarineError::decompression(decoded.error().display()));
  return std::move(*decoded);
}

}  // namespace tessarine
