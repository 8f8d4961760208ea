#include <cstddef>
#include <string>

#include <nanobind/stl/string.h>

#include "frame/bounded_frame.hpp"
#include "frame/frame_decode.hpp"
#include "frame/frame_format.hpp"
#include "tools_native/byte_input.hpp"
#include "tools_native/frame_support.hpp"
#include "tools_native/native_functions.hpp"

namespace tessarine::tools {
namespace {

nb::object optional_bound(bool given, double value) {
  return given ? nb::cast(value) : nb::none();
}

void put_layout(nb::dict& fields, const frame::FrameView& frame) {
  const bool blocked = frame.header.body == frame::BodyKind::Blocked;
  const auto channels = frame.channels.channels.size();
  fields["channels"] = channels ? channels : std::size_t{1};
  fields["blocks"] = blocked ? frame.layout.blocks.size() : std::size_t{1};
  fields["block_size"] = blocked ? frame.layout.block_samples : frame.header.count;
}

}  // namespace

nb::bytes compress_frame(nb::handle data, nb::handle max_error, nb::handle rel_error,
                         nb::handle psnr, std::uint64_t block_size, unsigned threads) {
  const frame::Bound bound{bound_value(max_error), bound_value(rel_error), bound_value(psnr)};
  const SignalInput input = pin_signal(data, true);
  const predictive::SampleView view = view_of(input);
  auto frame = [&] {
    nb::gil_scoped_release unlocked;
    return frame::compress_bounded(view, bound, {block_size, threads});
  }();
  if (!frame) raise_frame_error(frame.error());
  return nb::bytes(frame->data(), frame->size());
}

nb::dict frame_fields(nb::handle data, bool whole) {
  const PinnedBytes pinned(data);
  auto parsed = [&] {
    nb::gil_scoped_release unlocked;  // the checksum reads every byte
    return frame::parse_frame(pinned.bytes(), whole ? frame::Verify::Frame : frame::Verify::Layout);
  }();
  if (!parsed) raise_frame_error(parsed.error());
  const frame::FrameView& frame = *parsed;
  const auto& bound = frame.header.bound;
  nb::dict fields;
  fields["dtype"] = dtype_name(frame.header.type);
  fields["sample_count"] = frame.header.count;
  fields["max_error"] = optional_bound(bound.has_max_error(), bound.max_error);
  fields["rel_error"] = optional_bound(bound.has_rel_error(), bound.rel_error);
  fields["psnr"] = optional_bound(bound.has_psnr(), bound.psnr);
  const char* kinds[] = {"predictive", "verbatim", "blocks", "channels"};
  fields["body"] = kinds[static_cast<int>(frame.header.body)];
  fields["body_len"] = frame.body.size();
  fields["largest_error"] = frame.header.largest_error;
  put_layout(fields, frame);
  return fields;
}

nb::object decode_frame_into(nb::handle data, nb::handle out, std::uint64_t start,
                             nb::handle stop, unsigned threads) {
  const PinnedBytes pinned(data);  // a private copy of anything mutable: one parse holds
  const WritableBuffer target(out);
  const bool whole = start == 0 && stop.is_none();
  const std::uint64_t end = stop.is_none() ? 0 : nb::cast<std::uint64_t>(stop);
  auto decoded = [&]() -> frame::DecodeResult {
    nb::gil_scoped_release unlocked;
    // A window trusts a blocked frame's index and the blocks it reads, not the whole frame.
    auto frame = frame::parse_frame(pinned.bytes(), whole ? frame::Verify::Frame : frame::Verify::Layout);
    if (!frame) return std::unexpected(frame::DecodeFailure{frame.error(), frame::DecodeFailure::kNoBlock, 0});
    return frame::decode_window(*frame, start, whole ? frame->header.count : end, threads,
                                target.bytes());
  }();
  if (!decoded) raise_frame_error(decoded.error());
  return nb::borrow(out);
}

}  // namespace tessarine::tools
