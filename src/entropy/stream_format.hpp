#pragma once

// Stream framing: inputs of 0 to 5 bytes are stored as they are. Longer ones become
//   odd_flag (n & 1) | context_bits | pair_count (LEB128) | low_plane_size (LEB128)
//   | low plane | high plane | the last input byte, when n is odd
// where the low plane holds the bytes at even offsets and the high plane those at odd ones.

#include <cstddef>

namespace tessarine::arans {

// The shortest input that is coded; a coded stream is never shorter than 12 bytes, so the
// decoder tells the two forms apart by length alone.
inline constexpr std::size_t kMinCodedInput = 6;

// From this input length on there is enough data to train 256 contexts per plane.
inline constexpr std::size_t kWideContextInput = 16384;
inline constexpr unsigned kNarrowContextBits = 3;
inline constexpr unsigned kWideContextBits = 8;

}  // namespace tessarine::arans
