// The pieces a stream reader and writer in Python put together: the file's bytes are read and
// written there, everything about their layout is decided here.
#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include <nanobind/stl/optional.h>
#include <nanobind/stl/string.h>

#include "frame/block_coding.hpp"
#include "frame/block_index.hpp"
#include "frame/blocked_body.hpp"
#include "frame/bounded_frame.hpp"
#include "frame/frame_header.hpp"
#include "frame/sample_range.hpp"
#include "tools_native/byte_input.hpp"
#include "tools_native/frame_support.hpp"
#include "tools_native/native_functions.hpp"

namespace tessarine::tools {
namespace {

using frame::BlockSpan;
using frame::BodyKind;

nb::tuple block_tuple(const BlockSpan& block) {
  return nb::make_tuple(block.first, block.samples, block.offset, block.size,
                        static_cast<int>(block.kind), block.largest_error, block.crc);
}

BlockSpan block_from(nb::handle item) {
  const auto fields = nb::cast<nb::tuple>(item);
  if (fields.size() != 7) raise_value_error("a block is described by 7 fields");
  const int kind = nb::cast<int>(fields[4]);
  if (kind != 0 && kind != 1) raise_value_error("a block is predictive (0) or verbatim (1)");
  return {nb::cast<std::uint64_t>(fields[0]), nb::cast<std::uint64_t>(fields[1]),
          nb::cast<std::uint64_t>(fields[2]), nb::cast<std::uint64_t>(fields[3]),
          static_cast<BodyKind>(kind), nb::cast<double>(fields[5]),
          nb::cast<std::uint32_t>(fields[6])};
}

}  // namespace

nb::dict frame_head(nb::handle head) {
  const PinnedBytes pinned(head);
  const auto header = frame::read_header(pinned.bytes());
  if (!header) raise_frame_error(header.error());
  nb::dict fields;
  fields["dtype"] = dtype_name(header->type);
  fields["sample_count"] = header->count;
  fields["blocked"] = header->body == BodyKind::Blocked;
  fields["channels"] = header->body == BodyKind::Channels;
  return fields;
}

std::uint64_t block_tail_size(nb::handle trailer) {
  const PinnedBytes pinned(trailer);
  const auto size = frame::block_tail_size(pinned.bytes());
  if (!size) raise_frame_error(size.error());
  return *size;
}

nb::list block_layout(nb::handle head, nb::handle tail, std::uint64_t body_size) {
  const PinnedBytes head_bytes(head);
  const PinnedBytes tail_bytes(tail);
  const auto header = frame::read_header(head_bytes.bytes());
  if (!header) raise_frame_error(header.error());
  if (header->body != BodyKind::Blocked) raise_value_error("the frame has no blocks");
  const auto layout = frame::parse_block_tail(head_bytes.bytes(), *header, tail_bytes.bytes(), body_size);
  if (!layout) raise_frame_error(layout.error());
  nb::list blocks;
  for (const BlockSpan& block : layout->blocks) blocks.append(block_tuple(block));
  return blocks;
}

nb::object decode_one_block(const std::string& dtype, nb::handle block, nb::handle data,
                            nb::handle out, std::uint64_t start,
                            std::optional<std::uint64_t> stop) {
  const predictive::SampleType type = type_named(dtype);
  const BlockSpan span = block_from(block);
  const std::uint64_t high = std::min(stop.value_or(span.samples), span.samples);
  const PinnedBytes pinned(data);
  const WritableBuffer target(out);
  auto decoded = [&] {
    nb::gil_scoped_release unlocked;
    return frame::decode_block_part(type, span, pinned.bytes(), std::min(start, high), high,
                                    target.bytes());
  }();
  if (!decoded) raise_frame_error(decoded.error());
  return nb::borrow(out);
}

nb::list encode_stream_blocks(nb::handle data, double max_error, std::uint64_t block_size,
                              unsigned threads) {
  const SignalInput input = pin_signal(data, true);
  const predictive::SampleView view = view_of(input);
  auto blocks = [&] {
    nb::gil_scoped_release unlocked;
    return frame::encode_blocks(view, max_error, block_size, threads);
  }();
  if (!blocks) raise_frame_error(blocks.error());
  nb::list coded;
  for (const auto& block : *blocks) {
    const BlockSpan span = frame::span_of(block);
    coded.append(nb::make_tuple(nb::bytes(block.bytes.data(), block.bytes.size()),
                                static_cast<int>(span.kind), span.largest_error, span.crc));
  }
  return coded;
}

nb::tuple finish_blocked_frame(const std::string& dtype, std::uint64_t count,
                               nb::handle max_error, nb::handle rel_error,
                               std::uint64_t block_size, nb::handle blocks,
                               std::uint32_t blocks_crc, std::uint64_t blocks_size) {
  std::vector<BlockSpan> spans;
  for (nb::handle item : blocks) spans.push_back(block_from(item));
  const frame::FrameHeader header{type_named(dtype), count,
                                  {bound_value(max_error), bound_value(rel_error), NAN},
                                  BodyKind::Blocked, 0.0};
  const auto ends = frame::finish_blocked(header, block_size, spans, blocks_crc, blocks_size);
  if (!ends) raise_frame_error(ends.error());
  return nb::make_tuple(nb::bytes(ends->header.data(), ends->header.size()),
                        nb::bytes(ends->tail.data(), ends->tail.size()));
}

double stream_error_limit(nb::handle max_error, nb::handle rel_error, double span) {
  return frame::per_sample_limit({bound_value(max_error), bound_value(rel_error), NAN}, span);
}

nb::tuple finite_range(nb::handle data) {
  const SignalInput input = pin_signal(data, true);
  const auto range = [&] {
    nb::gil_scoped_release unlocked;
    return frame::sample_range(view_of(input));
  }();
  return nb::make_tuple(range.low, range.high, range.finite);
}

}  // namespace tessarine::tools
