#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "codec/error.hpp"
#include "codec/options.hpp"

namespace tessarine {

struct EncodedPayload {
  std::vector<std::uint8_t> bytes;
  std::uint8_t coder;  // the header's coder byte: kCoderDeflate or kCoderArans
};

// Codes the coefficient bytes: raw DEFLATE for `Deflate`, the rANS stream for `Arans` and
// `Auto`. Inputs the rANS stream cannot describe (more than 2^29 + 1 bytes) are refused
// rather than written into a container no decoder accepts.
[[nodiscard]] TessarineResult<EncodedPayload> encode_payload(std::span<const std::uint8_t> bytes,
                                                             Coder coder);

}  // namespace tessarine
