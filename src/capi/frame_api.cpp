#include <cmath>
#include <cstring>
#include <limits>
#include <span>
#include <string>

#include "capi/boundary.hpp"
#include "capi/dtype.hpp"
#include "capi/tessarine.h"
#include "frame/bounded_frame.hpp"
#include "frame/frame_decode.hpp"
#include "frame/frame_format.hpp"

namespace tessarine::capi {
namespace {

using predictive::PredictiveError;

tessarine_status fail_with(const PredictiveError& error, std::string text) {
  switch (error.kind()) {
    case PredictiveError::Kind::Damaged:
      return fail(TESSARINE_ERROR_DAMAGED, std::move(text));
    case PredictiveError::Kind::BadArgument:
      return fail(TESSARINE_ERROR_ARGUMENT, std::move(text));
    case PredictiveError::Kind::OutOfMemory:
      return fail(TESSARINE_ERROR_OUT_OF_MEMORY, std::move(text));
  }
  return fail(TESSARINE_ERROR_INTERNAL, std::move(text));
}

tessarine_status fail_with(const PredictiveError& error) { return fail_with(error, error.display()); }

bool finite_at_least(double value, double low, bool inclusive) {
  return std::isfinite(value) && (inclusive ? value >= low : value > low);
}

// The core's bound, NaN marking one not given; max_error may be 0 (every bit back), the others
// must be positive.
std::optional<frame::Bound> core_bound(const tessarine_bound& bound) {
  constexpr unsigned kKnown =
      TESSARINE_BOUND_MAX_ERROR | TESSARINE_BOUND_REL_ERROR | TESSARINE_BOUND_PSNR;
  if (bound.flags == 0 || (bound.flags & ~kKnown) != 0) return std::nullopt;
  frame::Bound core;
  if (bound.flags & TESSARINE_BOUND_MAX_ERROR) {
    if (!finite_at_least(bound.max_error, 0.0, true)) return std::nullopt;
    core.max_error = bound.max_error;
  }
  if (bound.flags & TESSARINE_BOUND_REL_ERROR) {
    if (!finite_at_least(bound.rel_error, 0.0, false)) return std::nullopt;
    core.rel_error = bound.rel_error;
  }
  if (bound.flags & TESSARINE_BOUND_PSNR) {
    if (!finite_at_least(bound.psnr, 0.0, false)) return std::nullopt;
    core.psnr = bound.psnr;
  }
  return core;
}

tessarine_bound c_bound(const frame::Bound& bound) {
  tessarine_bound out{bound.flags(), 0.0, 0.0, 0.0};
  if (bound.has_max_error()) out.max_error = bound.max_error;
  if (bound.has_rel_error()) out.rel_error = bound.rel_error;
  if (bound.has_psnr()) out.psnr = bound.psnr;
  return out;
}

// A frame of version 1 starts like one of version 2 but is read by the Python package only.
bool is_version_1(std::span<const std::uint8_t> bytes) {
  return bytes.size() >= 5 && std::memcmp(bytes.data(), "TSRF", 4) == 0 && bytes[4] == 1;
}

predictive::PredictiveResult<frame::FrameView> parse(const void* data, std::size_t size) {
  return frame::parse_frame({static_cast<const std::uint8_t*>(data), size});
}

tessarine_status parse_failure(const void* data, std::size_t size, const PredictiveError& error) {
  if (is_version_1({static_cast<const std::uint8_t*>(data), size})) {
    return fail(TESSARINE_ERROR_UNSUPPORTED,
                "frames of version 1 (wavelet with a residual layer) are read by the Python "
                "package only");
  }
  return fail_with(error);
}

}  // namespace
}  // namespace tessarine::capi

using namespace tessarine;
using namespace tessarine::capi;

extern "C" {

size_t tessarine_frame_compress_bound(tessarine_dtype dtype, uint64_t count) {
  const auto type = sample_type(dtype);
  if (!type) return 0;
  // Every block that does not shrink is stored verbatim; more than one block adds the index.
  constexpr std::uint64_t kMax = std::numeric_limits<size_t>::max() / 2;
  if (count > kMax / 8) return 0;
  std::uint64_t total = frame::kFrameHeaderSize + count * type->size;
  if (count > frame::kDefaultBlockSamples) {
    const std::uint64_t blocks = (count - 1) / frame::kDefaultBlockSamples + 1;
    total += 21 * blocks + 20;
  }
  return static_cast<size_t>(total);
}

tessarine_status tessarine_frame_compress(const void* samples, uint64_t count,
                                          tessarine_dtype dtype, const tessarine_bound* bound,
                                          unsigned threads, void* dst, size_t capacity,
                                          size_t* written) {
  return guarded([&]() -> tessarine_status {
    if (!bound || !written || (!samples && count > 0)) {
      return fail(TESSARINE_ERROR_ARGUMENT, "samples, bound and written must not be NULL");
    }
    const auto type = sample_type(dtype);
    if (!type) return fail(TESSARINE_ERROR_ARGUMENT, "unknown dtype " + std::to_string(dtype));
    const auto core = core_bound(*bound);
    if (!core) {
      return fail(TESSARINE_ERROR_ARGUMENT,
                  "give at least one bound: max_error >= 0, rel_error > 0 or psnr > 0, finite");
    }
    const predictive::SampleView view{static_cast<const std::byte*>(samples), count,
                                      type->size, *type};
    auto frame = frame::compress_bounded(view, *core, {frame::kDefaultBlockSamples,
                                                       threads == 0 ? 1u : threads});
    if (!frame) return fail_with(frame.error());
    *written = frame->size();
    if (frame->size() > capacity || (!dst && !frame->empty())) {
      return fail(TESSARINE_ERROR_BUFFER_TOO_SMALL,
                  "the frame needs " + std::to_string(frame->size()) + " bytes");
    }
    std::memcpy(dst, frame->data(), frame->size());
    return succeed();
  });
}

tessarine_status tessarine_frame_info(const void* data, size_t size, tessarine_frame_header* info) {
  return guarded([&]() -> tessarine_status {
    if (!data || !info) return fail(TESSARINE_ERROR_ARGUMENT, "frame and info must not be NULL");
    auto frame = parse(data, size);
    if (!frame) return parse_failure(data, size, frame.error());
    const auto& header = frame->header;
    *info = {dtype_of(header.type), header.count, c_bound(header.bound), header.largest_error};
    return succeed();
  });
}

tessarine_status tessarine_frame_decompress(const void* data, size_t size, unsigned threads,
                                            void* dst, size_t capacity, size_t* written) {
  return guarded([&]() -> tessarine_status {
    if (!data || !written) return fail(TESSARINE_ERROR_ARGUMENT, "frame and written must not be NULL");
    auto frame = parse(data, size);
    if (!frame) return parse_failure(data, size, frame.error());
    if (frame->header.body == frame::BodyKind::Channels) {
      return fail(TESSARINE_ERROR_UNSUPPORTED,
                  "multichannel frames are read by the Python package only");
    }
    // parse_frame checked that the body holds count samples, so this product fits.
    const std::size_t bytes = frame->header.count * frame->header.type.size;
    *written = bytes;
    if (bytes > capacity || (!dst && bytes > 0)) {
      return fail(TESSARINE_ERROR_BUFFER_TOO_SMALL,
                  "the frame decodes to " + std::to_string(bytes) + " bytes");
    }
    auto decoded = frame::decode_frame(*frame, {static_cast<std::byte*>(dst), bytes},
                                       threads == 0 ? 1u : threads);
    if (!decoded) return fail_with(decoded.error().error, decoded.error().display());
    return succeed();
  });
}

}  // extern "C"
