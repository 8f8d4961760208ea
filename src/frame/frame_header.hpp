#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "frame/bound.hpp"
#include "predictive/error.hpp"
#include "predictive/sample_type.hpp"

namespace tessarine::frame {

using predictive::PredictiveResult;
using predictive::SampleType;

// How a version-2 frame's body holds the samples.
enum class BodyKind : std::uint8_t {
  Predictive = 0,  // the bounded predictive stream
  Verbatim = 1,    // the samples themselves, little-endian: what incompressible input gets
  Blocked = 2,     // independent blocks of either kind, then their index
  Channels = 3,    // several channels of one length, each a frame, some predicted from others
};

inline constexpr std::uint8_t kFrameVersion = 2;
inline constexpr std::size_t kFrameHeaderSize = 53;
inline constexpr std::size_t kCrcEnd = 9;  // magic, version, CRC: the frame checksum starts here

struct FrameHeader {
  SampleType type{};
  std::uint64_t count = 0;
  Bound bound{};
  BodyKind body = BodyKind::Predictive;
  double largest_error = 0.0;  // the largest |error| of any finite sample, measured when coded
};

// The 53 header bytes with the CRC field zero: the checksum covers what follows the header too.
[[nodiscard]] PredictiveResult<std::vector<std::uint8_t>> pack_header(const FrameHeader& header);

// Magic, version and every field of a header's 53 bytes; the checksum is not looked at, so a
// reader can learn the layout before it reads the rest.
[[nodiscard]] PredictiveResult<FrameHeader> read_header(std::span<const std::uint8_t> bytes);

// True for a version-2 frame's first five bytes ("TSRF", 2); version 1 is read elsewhere.
[[nodiscard]] bool is_version_2(std::span<const std::uint8_t> bytes);

// Writes `crc` into the CRC field of packed header bytes.
void set_frame_crc(std::span<std::uint8_t> header, std::uint32_t crc);

}  // namespace tessarine::frame
