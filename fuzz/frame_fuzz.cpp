// libFuzzer target: the version-2 frame reader and the predictive decoder behind it. The
// checksums (the frame's, and a blocked frame's index) are recomputed first, so mutations reach
// the fields, the index and the streams rather than stopping at a CRC. A window of a blocked
// frame is decoded too, trusting only its index. Any bytes must give an error value or exactly the declared samples,
// without crashing, leaking or touching memory outside the frame and the output.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "frame/block_index.hpp"
#include "frame/frame_decode.hpp"
#include "frame/frame_format.hpp"

namespace {

constexpr std::size_t kLargestOutput = std::size_t{1} << 26;  // keeps each run fast

std::uint64_t u64_at(const std::uint8_t* at) {
  std::uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = value << 8 | at[i];
  return value;
}

// A blocked body's index CRC covers header bytes 9..53 and the index up to its own field.
void seal_index(std::vector<std::uint8_t>& frame) {
  using tessarine::frame::kFrameHeaderSize;
  using tessarine::frame::kIndexEntrySize;
  using tessarine::frame::kTrailerSize;
  if (frame.size() < kFrameHeaderSize + kTrailerSize || frame[44] != 2) return;
  const std::uint64_t blocks = u64_at(frame.data() + frame.size() - 12);
  if (blocks > (frame.size() - kFrameHeaderSize - kTrailerSize) / kIndexEntrySize) return;
  const std::size_t tail = blocks * kIndexEntrySize + kTrailerSize;
  uLong crc = crc32(crc32(0L, Z_NULL, 0), frame.data() + 9, kFrameHeaderSize - 9);
  crc = crc32(crc, frame.data() + frame.size() - tail, static_cast<uInt>(tail - 4));
  for (int i = 0; i < 4; ++i) frame[frame.size() - 4 + i] = static_cast<std::uint8_t>(crc >> (8 * i));
}

void seal(std::vector<std::uint8_t>& frame) {
  seal_index(frame);
  const std::uint32_t crc = static_cast<std::uint32_t>(
      crc32(crc32(0L, Z_NULL, 0), frame.data() + 9, static_cast<uInt>(frame.size() - 9)));
  for (int i = 0; i < 4; ++i) frame[5 + i] = static_cast<std::uint8_t>(crc >> (8 * i));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> frame(data, data + size);
  if (frame.size() >= 9) seal(frame);
  const auto parsed = tessarine::frame::parse_frame(frame);
  if (!parsed) {
    if (parsed.error().display().empty()) __builtin_trap();
    return 0;
  }
  const auto& header = parsed->header;
  if (header.count > kLargestOutput / header.type.size) return 0;
  std::vector<std::byte> out(header.count * header.type.size);
  const auto decoded = tessarine::frame::decode_frame(*parsed, out);
  if (!decoded && decoded.error().display().empty()) __builtin_trap();
  const auto window = tessarine::frame::parse_frame(frame, tessarine::frame::Verify::Layout);
  if (!window || header.count < 3) return 0;
  const std::uint64_t start = header.count / 3;
  const std::uint64_t stop = header.count - header.count / 4;
  const auto part = std::span(out).subspan(start * header.type.size, (stop - start) * header.type.size);
  const auto windowed = tessarine::frame::decode_window(*window, start, stop, 2, part);
  if (!windowed && windowed.error().display().empty()) __builtin_trap();
  return 0;
}
