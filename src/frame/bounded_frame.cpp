#include "frame/bounded_frame.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <optional>

#include "frame/sample_range.hpp"
#include "predictive/bounded_stream.hpp"

namespace tessarine::frame {
namespace {

using predictive::EncodedStream;
using predictive::PredictiveError;
using predictive::SampleView;

constexpr int kMaxPsnrAttempts = 3;
// A PSNR target may be beaten by at most 0.5 dB: an RMSE at least 10^(-0.5/20) of the target.
constexpr double kWithinSlack = 0.94406087628592338;

struct Limits {
  double per_sample = INFINITY;  // the per-sample bound from max_error and rel_error
  double rmse = INFINITY;        // the largest RMSE the PSNR allows
};

// Rounded toward zero: a bound that holds for the rounded-down value holds exactly.
double inward(double value) { return value > 0.0 ? std::nextafter(value, 0.0) : 0.0; }

Limits limits_of(const Bound& bound, double span) {
  Limits limits;
  span = std::min(span, std::numeric_limits<double>::max());  // a range beyond doubles
  if (bound.has_max_error()) limits.per_sample = bound.max_error;
  if (bound.has_rel_error()) {
    limits.per_sample = std::min(limits.per_sample, inward(bound.rel_error * inward(span)));
  }
  if (bound.has_psnr()) limits.rmse = span / std::pow(10.0, bound.psnr / 20.0);
  return limits;
}

double rmse_of(const EncodedStream& stream) {
  return stream.finite_count ? std::sqrt(stream.sum_squared_error / stream.finite_count) : 0.0;
}

// A uniform error in [-e, e] has RMS e/sqrt(3): the first guess; a miss rescales by how far
// it missed. Each attempt reads the signal once more, so attempts are few.
PredictiveResult<EncodedStream> encode_for_psnr(const SampleView& samples, const Limits& limits) {
  constexpr double kLargest = std::numeric_limits<double>::max();
  double error = std::min({limits.per_sample, limits.rmse * std::sqrt(3.0), kLargest});
  std::optional<EncodedStream> best;
  for (int attempt = 0; attempt < kMaxPsnrAttempts && error > 0.0; ++attempt) {
    auto stream = predictive::encode_stream(samples, error);
    if (!stream) return stream;
    const double rmse = rmse_of(*stream);
    if (rmse <= limits.rmse) {
      if (!best || stream->bytes.size() < best->bytes.size()) best = std::move(*stream);
      // Close enough to the target, or the per-sample bound allows no coarser step.
      if (rmse >= limits.rmse * kWithinSlack || error >= limits.per_sample) break;
    }
    if (rmse == 0.0) break;
    error = std::min({limits.per_sample, error * 0.99 * limits.rmse / rmse, kLargest});
  }
  if (best) return std::move(*best);
  return predictive::encode_stream(samples, 0.0);  // exact always meets the target
}

void copy_verbatim(const SampleView& samples, std::vector<std::uint8_t>& body) {
  const std::size_t size = samples.type.size;
  body.resize(samples.count * size);
  for (std::size_t i = 0; i < samples.count; ++i) {
    // Addressed from the start each time: a negative stride never steps before the array.
    const std::byte* at = samples.data + static_cast<std::ptrdiff_t>(i) * samples.stride;
    std::memcpy(body.data() + i * size, at, size);  // little-endian hosts only, as the module
  }
}

}  // namespace

PredictiveResult<std::vector<std::uint8_t>> compress_bounded(const SampleView& samples,
                                                             const Bound& bound) {
  if (!samples.type.is_valid()) return std::unexpected(PredictiveError::bad_argument("unsupported sample type"));
  if (!bound.given()) return std::unexpected(PredictiveError::bad_argument("no bound given"));
  const bool needs_range = bound.has_rel_error() || bound.has_psnr();
  const Limits limits = limits_of(bound, needs_range ? sample_range(samples).span() : 0.0);
  auto stream = bound.has_psnr() ? encode_for_psnr(samples, limits)
                                 : predictive::encode_stream(samples, limits.per_sample);
  if (!stream) return std::unexpected(stream.error());
  FrameHeader header{samples.type, samples.count, bound, BodyKind::Predictive,
                     stream->max_abs_error};
  if (stream->bytes.size() < samples.count * samples.type.size) {
    return pack_frame(header, stream->bytes);
  }
  try {
    std::vector<std::uint8_t> body;
    copy_verbatim(samples, body);
    header.body = BodyKind::Verbatim;
    header.largest_error = 0.0;
    return pack_frame(header, body);
  } catch (const std::bad_alloc&) {
    return std::unexpected(PredictiveError::out_of_memory());
  }
}

PredictiveResult<void> decode_frame(const FrameView& frame, std::span<std::byte> out) {
  const FrameHeader& header = frame.header;
  if (out.size() != header.count * header.type.size) {
    return std::unexpected(PredictiveError::bad_argument("out does not match the frame's samples"));
  }
  if (header.body == BodyKind::Verbatim) {
    if (!out.empty()) std::memcpy(out.data(), frame.body.data(), out.size());
    return {};
  }
  return predictive::decode_stream(frame.body, header.type, header.count, out);
}

}  // namespace tessarine::frame
