#include "codec/container.hpp"

#include <cstring>
#include <limits>
#include <string>

#include "memory/prefault.hpp"

namespace tessarine {

TessarineResult<std::vector<std::uint8_t>> assemble_container(
    TessarineHeader header, std::span<const std::uint8_t> payload) {
  constexpr std::uint64_t kMaxPayload = std::numeric_limits<std::uint32_t>::max();
  if (payload.size() > kMaxPayload) {
    return std::unexpected(TessarineError::unsupported_configuration(
        "Can't store a payload of " + std::to_string(payload.size()) +
        " bytes, a container describes at most " + std::to_string(kMaxPayload)));
  }
  header.payload_len = static_cast<std::uint32_t>(payload.size());
  std::vector<std::uint8_t> out = populated_vector<std::uint8_t>(kHeaderSize + payload.size());
  header.write_to(std::span<std::uint8_t, kHeaderSize>(out.data(), kHeaderSize));
  if (!payload.empty()) std::memcpy(out.data() + kHeaderSize, payload.data(), payload.size());
  return out;
}

}  // namespace tessarine
