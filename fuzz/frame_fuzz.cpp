// libFuzzer target: the version-2 frame reader and the predictive decoder behind it. The
// checksum is recomputed first, so mutations reach the fields and the stream rather than
// stopping at the CRC. Any bytes must give an error value or exactly the declared samples,
// without crashing, leaking or touching memory outside the frame and the output.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "frame/bounded_frame.hpp"
#include "frame/frame_format.hpp"

namespace {

constexpr std::size_t kLargestOutput = std::size_t{1} << 26;  // keeps each run fast

void seal(std::vector<std::uint8_t>& frame) {
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
  return 0;
}
