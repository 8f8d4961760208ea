#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "codec/error.hpp"
#include "codec/header.hpp"

namespace tessarine {

// Decodes one container (header, then payload; bytes after the payload are ignored) into
// exactly `sample_count` samples, or refuses it with an error value. Memory is allocated in
// proportion to what the payload actually decodes to, never from the header's counts alone.
[[nodiscard]] TessarineResult<std::vector<float>> decompress(
    std::span<const std::uint8_t> container);

// The decoder's checks of a parsed header's sample count and depth, before anything is
// allocated from them.
[[nodiscard]] TessarineResult<void> check_counts(const TessarineHeader& header);

}  // namespace tessarine
