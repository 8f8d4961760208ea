#include "frame/frame_format.hpp"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <new>

#include "frame/byte_order.hpp"
#include "predictive/code_coder.hpp"

namespace tessarine::frame {
namespace {

using predictive::PredictiveError;

constexpr std::uint8_t kMagic[4] = {'T', 'S', 'R', 'F'};
constexpr std::size_t kCrcEnd = 9;  // magic, version, CRC

std::uint32_t crc_of(std::span<const std::uint8_t> bytes) {
  uLong crc = crc32(0L, Z_NULL, 0);
  while (!bytes.empty()) {
    const std::size_t part = std::min<std::size_t>(bytes.size(), 1u << 30);
    crc = crc32(crc, bytes.data(), static_cast<uInt>(part));
    bytes = bytes.subspan(part);
  }
  return static_cast<std::uint32_t>(crc);
}

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

// The most samples a body of this size can honestly hold: verbatim bodies hold exactly their
// size, and every chunk of a predictive stream costs at least a byte.
bool count_fits(const FrameHeader& header, std::size_t body_size) {
  if (header.body == BodyKind::Verbatim) {
    return header.count <= body_size / header.type.size &&
           header.count * header.type.size == body_size;
  }
  const std::uint64_t chunks = (header.count + predictive::kCodeChunk - 1) / predictive::kCodeChunk;
  return chunks <= body_size;
}

PredictiveResult<FrameHeader> header_from(std::span<const std::uint8_t> bytes) {
  FrameHeader header;
  const std::uint8_t* at = bytes.data();
  header.type = {static_cast<char>(at[9]), at[10]};
  if (!header.type.is_valid()) return std::unexpected(PredictiveError::damaged("unknown sample type"));
  header.count = get_le<std::uint64_t>(at + 11);
  if (at[19] > 7) return std::unexpected(PredictiveError::damaged("unknown bound flags"));
  header.bound = bound_from(at[19], at + 20);
  if (at[44] > static_cast<std::uint8_t>(BodyKind::Verbatim)) {
    return std::unexpected(PredictiveError::damaged("unknown body kind"));
  }
  header.body = static_cast<BodyKind>(at[44]);
  header.largest_error = get_le<double>(at + 45);
  if (!(header.largest_error >= 0.0) || std::isinf(header.largest_error)) {
    return std::unexpected(PredictiveError::damaged("impossible largest error"));
  }
  return header;
}

}  // namespace

bool is_version_2(std::span<const std::uint8_t> bytes) {
  return bytes.size() >= 5 && std::equal(kMagic, kMagic + 4, bytes.begin()) &&
         bytes[4] == kFrameVersion;
}

PredictiveResult<std::vector<std::uint8_t>> pack_frame(const FrameHeader& header,
                                                       std::span<const std::uint8_t> body) {
  try {
    std::vector<std::uint8_t> out;
    out.reserve(kFrameHeaderSize + body.size());
    out.insert(out.end(), kMagic, kMagic + 4);
    out.push_back(kFrameVersion);
    put_le<std::uint32_t>(out, 0);  // the CRC, filled in last
    out.push_back(static_cast<std::uint8_t>(header.type.kind));
    out.push_back(header.type.size);
    put_le<std::uint64_t>(out, header.count);
    out.push_back(header.bound.flags());
    for (int i = 0; i < 3; ++i) put_le<double>(out, bound_field(header.bound, i));
    out.push_back(static_cast<std::uint8_t>(header.body));
    put_le<double>(out, header.largest_error);
    out.insert(out.end(), body.begin(), body.end());
    const std::uint32_t crc = crc_of(std::span(out).subspan(kCrcEnd));
    std::vector<std::uint8_t> crc_bytes;
    put_le<std::uint32_t>(crc_bytes, crc);
    std::copy(crc_bytes.begin(), crc_bytes.end(), out.begin() + 5);
    return out;
  } catch (const std::bad_alloc&) {
    return std::unexpected(PredictiveError::out_of_memory());
  }
}

PredictiveResult<FrameView> parse_frame(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kFrameHeaderSize) {
    return std::unexpected(PredictiveError::damaged("it is shorter than its header"));
  }
  if (!is_version_2(bytes)) return std::unexpected(PredictiveError::damaged("not a version-2 frame"));
  if (crc_of(bytes.subspan(kCrcEnd)) != get_le<std::uint32_t>(bytes.data() + 5)) {
    return std::unexpected(PredictiveError::damaged("checksum mismatch"));
  }
  auto header = header_from(bytes);
  if (!header) return std::unexpected(header.error());
  const auto body = bytes.subspan(kFrameHeaderSize);
  if (!count_fits(*header, body.size())) {
    return std::unexpected(PredictiveError::damaged("its body cannot hold the declared samples"));
  }
  return FrameView{*header, body};
}

}  // namespace tessarine::frame
