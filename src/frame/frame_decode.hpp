#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string>

#include "frame/frame_format.hpp"

namespace tessarine::frame {

// A decoding failure, naming the block (kNoBlock where the frame has none).
struct DecodeFailure {
  static constexpr std::size_t kNoBlock = static_cast<std::size_t>(-1);

  predictive::PredictiveError error;
  std::size_t block = kNoBlock;
  std::size_t blocks = 0;

  [[nodiscard]] std::string display() const;
};

using DecodeResult = std::expected<void, DecodeFailure>;

// Decodes samples [start, stop) of a parsed frame into `out` (exactly their bytes), reading
// only the blocks that hold them, on up to `threads` threads.
[[nodiscard]] DecodeResult decode_window(const FrameView& frame, std::uint64_t start,
                                         std::uint64_t stop, unsigned threads,
                                         std::span<std::byte> out);

// Every sample of a parsed frame into `out`, which holds exactly count × item size bytes.
[[nodiscard]] DecodeResult decode_frame(const FrameView& frame, std::span<std::byte> out,
                                        unsigned threads = 1);

}  // namespace tessarine::frame
