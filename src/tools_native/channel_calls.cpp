// Multichannel frames: a C-contiguous channels × samples array in, one frame out, and back.
#include <cstddef>
#include <string>
#include <vector>

#include <nanobind/stl/string.h>
#include <nanobind/stl/vector.h>

#include "frame/channels_frame.hpp"
#include "frame/frame_format.hpp"
#include "tools_native/byte_input.hpp"
#include "tools_native/frame_support.hpp"
#include "tools_native/native_functions.hpp"

namespace tessarine::tools {
namespace {

// A read-only C-contiguous buffer, released on scope exit.
class ReadBuffer {
 public:
  explicit ReadBuffer(nb::handle data) {
    if (PyObject_GetBuffer(data.ptr(), &view_, PyBUF_C_CONTIGUOUS) != 0) throw nb::python_error();
  }
  ReadBuffer(const ReadBuffer&) = delete;
  ReadBuffer& operator=(const ReadBuffer&) = delete;
  ~ReadBuffer() { PyBuffer_Release(&view_); }
  [[nodiscard]] const std::byte* data() const { return static_cast<const std::byte*>(view_.buf); }
  [[nodiscard]] std::size_t size() const { return static_cast<std::size_t>(view_.len); }

 private:
  Py_buffer view_{};
};

// max_error may be one number or one per channel; the other bounds are one number.
std::vector<frame::Bound> bounds_of(nb::handle max_error, nb::handle rel_error, nb::handle psnr) {
  std::vector<frame::Bound> bounds;
  if (!max_error.is_none() && nb::isinstance<nb::sequence>(max_error)) {
    for (nb::handle value : max_error) bounds.push_back({nb::cast<double>(value), NAN, NAN});
    return bounds;
  }
  bounds.push_back({bound_value(max_error), bound_value(rel_error), bound_value(psnr)});
  return bounds;
}

}  // namespace

nb::bytes compress_channels(nb::handle data, const std::string& dtype, std::size_t channels,
                            nb::handle max_error, nb::handle rel_error, nb::handle psnr,
                            std::uint64_t block_size, unsigned threads, bool joint) {
  const auto type = type_named(dtype);
  const auto bounds = bounds_of(max_error, rel_error, psnr);
  const ReadBuffer input(data);
  if (channels == 0 || input.size() % (channels * type.size) != 0) {
    raise_value_error("the array does not split into the channels given");
  }
  const std::size_t count = input.size() / (channels * type.size);
  const frame::ChannelsView view{input.data(), channels, count,
                                 static_cast<std::ptrdiff_t>(count * type.size),
                                 static_cast<std::ptrdiff_t>(type.size), type};
  auto frame = [&] {
    nb::gil_scoped_release unlocked;
    return frame::compress_channels(view, bounds, {block_size, threads}, joint);
  }();
  if (!frame) raise_frame_error(frame.error());
  return nb::bytes(frame->data(), frame->size());
}

nb::list channel_spans(nb::handle data) {
  const PinnedBytes pinned(data);
  auto parsed = [&] {
    nb::gil_scoped_release unlocked;
    return frame::parse_frame(pinned.bytes());
  }();
  if (!parsed) raise_frame_error(parsed.error());
  if (parsed->header.body != frame::BodyKind::Channels) raise_value_error("not a frame of channels");
  nb::list spans;
  for (const frame::ChannelEntry& entry : parsed->channels.channels) {
    spans.append(nb::make_tuple(frame::kFrameHeaderSize + entry.offset, entry.size,
                                entry.predictor.terms.size()));
  }
  return spans;
}

nb::object decode_channels_into(nb::handle data, const std::vector<std::size_t>& wanted,
                                nb::handle out, unsigned threads) {
  const PinnedBytes pinned(data);
  const WritableBuffer target(out);
  auto decoded = [&]() -> frame::DecodeResult {
    nb::gil_scoped_release unlocked;
    auto frame = frame::parse_frame(pinned.bytes());
    if (!frame) return std::unexpected(frame::DecodeFailure{frame.error(), frame::DecodeFailure::kNoBlock, 0});
    return frame::decode_channels(*frame, wanted, threads, target.bytes());
  }();
  if (!decoded) raise_frame_error(decoded.error());
  return nb::borrow(out);
}

}  // namespace tessarine::tools
