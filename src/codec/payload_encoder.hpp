#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "codec/error.hpp"
#include "codec/options.hpp"

namespace tessarine {

struct EncodedPayload {
  std::vector<std::uint8_t> bytes;
  std::uint8_t coder;  // the header's coder byte of the coder that wrote `bytes`
};

// Codes the coefficient bytes with the coder the option names (payload_coders.hpp). Inputs a
// coder cannot describe (the rANS stream: more than 2^29 + 1 bytes) are refused rather than
// written into a container no decoder accepts.
[[nodiscard]] TessarineResult<EncodedPayload> encode_payload(std::span<const std::uint8_t> bytes,
                                                             Coder coder);

}  // namespace tessarine
