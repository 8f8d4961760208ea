#pragma once

#include <cstdint>
#include <span>

namespace tessarine {

// Strict UTF-8 check: rejects overlong forms, surrogates (U+D800..U+DFFF), code points
// above U+10FFFF, stray continuation bytes and sequences cut short.
[[nodiscard]] bool is_valid_utf8(std::span<const std::uint8_t> bytes);

}  // namespace tessarine
