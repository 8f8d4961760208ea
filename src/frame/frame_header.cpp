#include "frame/frame_header.hpp"

#include <algorithm>
#include <cmath>
#include <new>

#include "frame/byte_order.hpp"

namespace tessarine::frame {
namespace {

using predictive::PredictiveError;

constexpr std::uint8_t kMagic[4] = {'T', 'S', 'R', 'F'};

double bound_field(const Bound& bound, int which) {
  const double value = which == 0 ? bound.max_error : which == 1 ? bound.rel_error : bound.psnr;
  return std::isnan(value) ? 0.0 : value;
}

Bound bound_from(std::uint8_t flags, const std::uint8_t* at) {
  Bound bound;
  double* fields[3] = {&bound.max_error, &bound.rel_error, &bound.psnr};
  for (int i = 0; i < 3; ++i) {
    if (flags >> i & 1) *fields[i] = get_le<double>(at + 8 * i);
  }
  return bound;
}

}  // namespace

bool is_version_2(std::span<const std::uint8_t> bytes) {
  return bytes.size() >= 5 && std::equal(kMagic, kMagic + 4, bytes.begin()) &&
         bytes[4] == kFrameVersion;
}

PredictiveResult<std::vector<std::uint8_t>> pack_header(const FrameHeader& header) {
  try {
    std::vector<std::uint8_t> out;
    out.reserve(kFrameHeaderSize);
    out.insert(out.end(), kMagic, kMagic + 4);
    out.push_back(kFrameVersion);
    put_le<std::uint32_t>(out, 0);  // the CRC, filled in once the rest is known
    out.push_back(static_cast<std::uint8_t>(header.type.kind));
    out.push_back(header.type.size);
    put_le<std::uint64_t>(out, header.count);
    out.push_back(header.bound.flags());
    for (int i = 0; i < 3; ++i) put_le<double>(out, bound_field(header.bound, i));
    out.push_back(static_cast<std::uint8_t>(header.body));
    put_le<double>(out, header.largest_error);
    return out;
  } catch (const std::bad_alloc&) {
    return std::unexpected(PredictiveError::out_of_memory());
  }
}

PredictiveResult<FrameHeader> read_header(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kFrameHeaderSize) {
    return std::unexpected(PredictiveError::damaged("it is shorter than its header"));
  }
  if (!is_version_2(bytes)) return std::unexpected(PredictiveError::damaged("not a version-2 frame"));
  FrameHeader header;
  const std::uint8_t* at = bytes.data();
  header.type = {static_cast<char>(at[9]), at[10]};
  if (!header.type.is_valid()) return std::unexpected(PredictiveError::damaged("unknown sample type"));
  header.count = get_le<std::uint64_t>(at + 11);
  if (at[19] > 7) return std::unexpected(PredictiveError::damaged("unknown bound flags"));
  header.bound = bound_from(at[19], at + 20);
  if (at[44] > static_cast<std::uint8_t>(BodyKind::Channels)) {
    return std::unexpected(PredictiveError::damaged("unknown body kind"));
  }
  header.body = static_cast<BodyKind>(at[44]);
  header.largest_error = get_le<double>(at + 45);
  if (!(header.largest_error >= 0.0) || std::isinf(header.largest_error)) {
    return std::unexpected(PredictiveError::damaged("impossible largest error"));
  }
  return header;
}

void set_frame_crc(std::span<std::uint8_t> header, std::uint32_t crc) {
  for (int i = 0; i < 4; ++i) header[5 + i] = static_cast<std::uint8_t>(crc >> 8 * i);
}

}  // namespace tessarine::frame
