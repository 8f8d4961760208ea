#pragma once

#include <cstdint>
#include <span>

namespace tessarine::frame {

// CRC-32 as zlib computes it, of any length.
[[nodiscard]] std::uint32_t crc32_of(std::span<const std::uint8_t> bytes, std::uint32_t crc = 0);

// The CRC of A then B from the CRCs of A and of B (B's length given): how a writer that
// learns its header last still checksums the frame in order.
[[nodiscard]] std::uint32_t crc32_joined(std::uint32_t crc_a, std::uint32_t crc_b,
                                         std::uint64_t length_b);

}  // namespace tessarine::frame
