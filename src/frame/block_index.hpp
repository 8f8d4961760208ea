#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "frame/frame_header.hpp"

namespace tessarine::frame {

// One block of a blocked frame, as its index describes it.
struct BlockSpan {
  std::uint64_t first = 0;    // the index of its first sample in the signal
  std::uint64_t samples = 0;
  std::uint64_t offset = 0;   // its first byte, counted from the start of the body
  std::uint64_t size = 0;
  BodyKind kind = BodyKind::Predictive;  // Predictive or Verbatim
  double largest_error = 0.0;
  std::uint32_t crc = 0;  // CRC-32 of its bytes
};

struct BlockLayout {
  std::uint64_t block_samples = 0;  // every block but the last holds this many samples
  std::vector<BlockSpan> blocks;

  // The blocks [first, last) that hold samples [start, stop), start < stop <= the count.
  [[nodiscard]] std::pair<std::size_t, std::size_t> covering(std::uint64_t start,
                                                             std::uint64_t stop) const {
    return {static_cast<std::size_t>(start / block_samples),
            static_cast<std::size_t>((stop - 1) / block_samples + 1)};
  }
};

inline constexpr std::size_t kIndexEntrySize = 21;  // size u64, kind u8, largest error f64, CRC u32
inline constexpr std::size_t kTrailerSize = 20;     // block samples u64, block count u64, CRC u32

// The index and trailer that end a blocked body. Its CRC also covers the header's fields
// (`header` is the packed header), so a reader can trust the layout without reading the blocks.
[[nodiscard]] PredictiveResult<std::vector<std::uint8_t>> pack_block_tail(
    std::span<const std::uint8_t> header, std::uint64_t block_samples,
    std::span<const BlockSpan> blocks);

// How many bytes index and trailer take, from the trailer: the body's last kTrailerSize bytes.
[[nodiscard]] PredictiveResult<std::uint64_t> block_tail_size(std::span<const std::uint8_t> trailer);

// The blocks of a body of `body_size` bytes from its tail (block_tail_size bytes): checks the
// tail's CRC, that the blocks tile the body, and that each can hold its samples, so a reader
// may allocate them once this succeeds.
[[nodiscard]] PredictiveResult<BlockLayout> parse_block_tail(std::span<const std::uint8_t> header,
                                                             const FrameHeader& fields,
                                                             std::span<const std::uint8_t> tail,
                                                             std::uint64_t body_size);

}  // namespace tessarine::frame
