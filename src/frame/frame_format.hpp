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
};

inline constexpr std::uint8_t kFrameVersion = 2;
inline constexpr std::size_t kFrameHeaderSize = 53;

struct FrameHeader {
  SampleType type{};
  std::uint64_t count = 0;
  Bound bound{};
  BodyKind body = BodyKind::Predictive;
  double largest_error = 0.0;  // the largest |error| of any finite sample, measured when coded
};

struct FrameView {
  FrameHeader header;
  std::span<const std::uint8_t> body;
};

// Header, body and the CRC-32 over everything after the CRC field.
[[nodiscard]] PredictiveResult<std::vector<std::uint8_t>> pack_frame(
    const FrameHeader& header, std::span<const std::uint8_t> body);

// Checks magic, version, checksum, sample type, body kind and that the body can hold the
// declared count, so that a caller may allocate `count` samples once this succeeds.
[[nodiscard]] PredictiveResult<FrameView> parse_frame(std::span<const std::uint8_t> bytes);

// True for a version-2 frame's first five bytes ("TSRF", 2); version 1 is read elsewhere.
[[nodiscard]] bool is_version_2(std::span<const std::uint8_t> bytes);

}  // namespace tessarine::frame
