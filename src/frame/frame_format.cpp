#include "frame/frame_format.hpp"

#include <new>

#include "frame/byte_order.hpp"
#include "frame/checksum.hpp"
#include "predictive/code_coder.hpp"

namespace tessarine::frame {
namespace {

using predictive::PredictiveError;

// The most samples a single body of this size can honestly hold: verbatim bodies hold exactly
// their size, and every chunk of a predictive stream costs at least a byte.
bool count_fits(const FrameHeader& header, std::size_t body_size) {
  if (header.body == BodyKind::Verbatim) {
    return header.count <= body_size / header.type.size &&
           header.count * header.type.size == body_size;
  }
  const std::uint64_t chunks = (header.count + predictive::kCodeChunk - 1) / predictive::kCodeChunk;
  return chunks <= body_size;
}

PredictiveResult<BlockLayout> layout_of(std::span<const std::uint8_t> bytes,
                                        const FrameHeader& header,
                                        std::span<const std::uint8_t> body) {
  if (body.size() < kTrailerSize) {
    return std::unexpected(PredictiveError::damaged("its block index is cut short"));
  }
  const auto tail_size = block_tail_size(body.last(kTrailerSize));
  if (!tail_size) return std::unexpected(tail_size.error());
  if (*tail_size > body.size()) {
    return std::unexpected(PredictiveError::damaged("its block index is cut short"));
  }
  return parse_block_tail(bytes.first(kFrameHeaderSize), header, body.last(*tail_size),
                          body.size());
}

}  // namespace

PredictiveResult<std::vector<std::uint8_t>> pack_frame(const FrameHeader& header,
                                                       std::span<const std::uint8_t> body) {
  auto out = pack_header(header);
  if (!out) return out;
  try {
    out->insert(out->end(), body.begin(), body.end());
  } catch (const std::bad_alloc&) {
    return std::unexpected(PredictiveError::out_of_memory());
  }
  set_frame_crc(*out, crc32_of(std::span(*out).subspan(kCrcEnd)));
  return out;
}

PredictiveResult<FrameView> parse_frame(std::span<const std::uint8_t> bytes, Verify verify) {
  if (bytes.size() < kFrameHeaderSize) {
    return std::unexpected(PredictiveError::damaged("it is shorter than its header"));
  }
  if (!is_version_2(bytes)) return std::unexpected(PredictiveError::damaged("not a version-2 frame"));
  // A blocked frame's index checksums the header too, so a window may skip the frame's CRC.
  const bool blocked = bytes[44] == static_cast<std::uint8_t>(BodyKind::Blocked);
  if ((verify == Verify::Frame || !blocked) &&
      crc32_of(bytes.subspan(kCrcEnd)) != get_le<std::uint32_t>(bytes.data() + 5)) {
    return std::unexpected(PredictiveError::damaged("checksum mismatch"));
  }
  auto header = read_header(bytes);
  if (!header) return std::unexpected(header.error());
  FrameView frame{*header, bytes.subspan(kFrameHeaderSize), {}, {}};
  if (header->body == BodyKind::Channels) {
    auto channels = parse_channel_table(*header, frame.body);
    if (!channels) return std::unexpected(channels.error());
    frame.channels = std::move(*channels);
    return frame;
  }
  if (header->body != BodyKind::Blocked) {
    if (!count_fits(*header, frame.body.size())) {
      return std::unexpected(PredictiveError::damaged("its body cannot hold the declared samples"));
    }
    return frame;
  }
  auto layout = layout_of(bytes, *header, frame.body);
  if (!layout) return std::unexpected(layout.error());
  frame.layout = std::move(*layout);
  return frame;
}

}  // namespace tessarine::frame
