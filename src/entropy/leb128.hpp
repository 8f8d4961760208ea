#pragma once

#include <cstdint>
#include <vector>

namespace tessarine::arans {

// Appends `value` as unsigned LEB128 in its shortest form: 7 bits per byte, least significant
// group first, bit 7 set on every byte but the last.
void append_leb128(std::vector<std::uint8_t>& out, std::uint64_t value);

}  // namespace tessarine::arans
