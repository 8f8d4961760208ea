#include <cmath>
#include <cstddef>
#include <string>

#include <nanobind/stl/string.h>

#include "frame/bounded_frame.hpp"
#include "frame/frame_format.hpp"
#include "tools_native/byte_input.hpp"
#include "tools_native/native_functions.hpp"
#include "tools_native/raise.hpp"
#include "tools_native/signal_input.hpp"

namespace tessarine::tools {
namespace {

using predictive::PredictiveError;
using predictive::SampleType;
using predictive::SampleView;

[[noreturn]] void raise_frame_error(const PredictiveError& error) {
  if (error.kind() == PredictiveError::Kind::OutOfMemory) {
    PyErr_NoMemory();
    throw nb::python_error();
  }
  raise_value_error(error.display());
}

SampleView view_of(const SignalInput& input) {
  using nb::dlpack::dtype_code;
  const auto code = static_cast<dtype_code>(input.dtype.code);
  const char kind = code == dtype_code::Float ? 'f' : code == dtype_code::Int ? 'i' : 'u';
  const SampleType type{kind, static_cast<std::uint8_t>(input.dtype.bits / 8)};
  return {static_cast<const std::byte*>(input.data), input.length,
          static_cast<std::ptrdiff_t>(input.stride * type.size), type};
}

// An optional bound from Python: None is "not given".
double bound_value(nb::handle value) {
  return value.is_none() ? NAN : nb::cast<double>(value);
}

// A writable C-contiguous buffer, released on scope exit.
class WritableBuffer {
 public:
  explicit WritableBuffer(nb::handle out) {
    if (PyObject_GetBuffer(out.ptr(), &view_, PyBUF_WRITABLE | PyBUF_C_CONTIGUOUS) != 0) {
      throw nb::python_error();
    }
  }
  WritableBuffer(const WritableBuffer&) = delete;
  WritableBuffer& operator=(const WritableBuffer&) = delete;
  ~WritableBuffer() { PyBuffer_Release(&view_); }
  [[nodiscard]] std::span<std::byte> bytes() const {
    return {static_cast<std::byte*>(view_.buf), static_cast<std::size_t>(view_.len)};
  }

 private:
  Py_buffer view_{};
};

}  // namespace

nb::bytes compress_frame(nb::handle data, nb::handle max_error, nb::handle rel_error,
                         nb::handle psnr) {
  const frame::Bound bound{bound_value(max_error), bound_value(rel_error), bound_value(psnr)};
  const SignalInput input = pin_signal(data, true);
  const SampleView view = view_of(input);
  auto frame = [&] {
    nb::gil_scoped_release unlocked;
    return frame::compress_bounded(view, bound);
  }();
  if (!frame) raise_frame_error(frame.error());
  return nb::bytes(frame->data(), frame->size());
}

nb::dict frame_fields(nb::handle data) {
  const PinnedBytes pinned(data);
  auto parsed = [&] {
    nb::gil_scoped_release unlocked;  // the checksum reads every byte
    return frame::parse_frame(pinned.bytes());
  }();
  if (!parsed) raise_frame_error(parsed.error());
  const frame::FrameView& frame = *parsed;
  nb::dict fields;
  fields["dtype"] = std::string(1, frame.header.type.kind) + std::to_string(frame.header.type.size);
  fields["sample_count"] = frame.header.count;
  const auto& bound = frame.header.bound;
  fields["max_error"] = bound.has_max_error() ? nb::cast(bound.max_error) : nb::none();
  fields["rel_error"] = bound.has_rel_error() ? nb::cast(bound.rel_error) : nb::none();
  fields["psnr"] = bound.has_psnr() ? nb::cast(bound.psnr) : nb::none();
  fields["body"] = frame.header.body == frame::BodyKind::Verbatim ? "verbatim" : "predictive";
  fields["body_len"] = frame.body.size();
  fields["largest_error"] = frame.header.largest_error;
  return fields;
}

nb::object decode_frame_into(nb::handle data, nb::handle out) {
  const PinnedBytes pinned(data);  // a private copy of anything mutable: one parse holds
  const WritableBuffer target(out);
  auto decoded = [&]() -> predictive::PredictiveResult<void> {
    nb::gil_scoped_release unlocked;
    auto frame = frame::parse_frame(pinned.bytes());
    if (!frame) return std::unexpected(frame.error());
    return frame::decode_frame(*frame, target.bytes());
  }();
  if (!decoded) raise_frame_error(decoded.error());
  return nb::borrow(out);
}

}  // namespace tessarine::tools
