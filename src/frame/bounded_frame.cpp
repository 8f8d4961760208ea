#include "frame/bounded_frame.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <optional>

#include "frame/blocked_body.hpp"
#include "frame/parallel_for.hpp"
#include "frame/sample_range.hpp"

namespace tessarine::frame {
namespace {

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
  span = std::min(span, std::numeric_limits<double>::max());
  Limits limits{per_sample_limit(bound, span), INFINITY};
  if (bound.has_psnr()) limits.rmse = span / std::pow(10.0, bound.psnr / 20.0);
  return limits;
}

// The blocks of one attempt and what they measure together.
struct Coded {
  std::vector<EncodedBlock> blocks;

  [[nodiscard]] std::size_t size() const {
    std::size_t total = 0;
    for (const auto& block : blocks) total += block.bytes.size();
    return total;
  }
  [[nodiscard]] double rmse() const {
    double squares = 0.0;
    std::size_t finite = 0;
    for (const auto& block : blocks) {
      squares += block.sum_squared_error;
      finite += block.finite_count;
    }
    return finite ? std::sqrt(squares / finite) : 0.0;
  }
};

PredictiveResult<Coded> encode_all(const SampleView& samples, double error,
                                   const BlockOptions& options) {
  auto blocks = encode_blocks(samples, error, options.block_samples, options.threads);
  if (!blocks) return std::unexpected(blocks.error());
  return Coded{std::move(*blocks)};
}

// A uniform error in [-e, e] has RMS e/sqrt(3): the first guess; a miss rescales by how far
// it missed. Each attempt reads the signal once more, so attempts are few.
PredictiveResult<Coded> encode_for_psnr(const SampleView& samples, const Limits& limits,
                                        const BlockOptions& options) {
  constexpr double kLargest = std::numeric_limits<double>::max();
  double error = std::min({limits.per_sample, limits.rmse * std::sqrt(3.0), kLargest});
  std::optional<Coded> best;
  for (int attempt = 0; attempt < kMaxPsnrAttempts && error > 0.0; ++attempt) {
    auto coded = encode_all(samples, error, options);
    if (!coded) return coded;
    const double rmse = coded->rmse();
    if (rmse <= limits.rmse) {
      if (!best || coded->size() < best->size()) best = std::move(*coded);
      // Close enough to the target, or the per-sample bound allows no coarser step.
      if (rmse >= limits.rmse * kWithinSlack || error >= limits.per_sample) break;
    }
    if (rmse == 0.0) break;
    error = std::min({limits.per_sample, error * 0.99 * limits.rmse / rmse, kLargest});
  }
  if (best) return std::move(*best);
  return encode_all(samples, 0.0, options);  // exact always meets the target
}

}  // namespace

double per_sample_limit(const Bound& bound, double span) {
  span = std::min(span, std::numeric_limits<double>::max());  // a range beyond doubles
  double limit = INFINITY;
  if (bound.has_max_error()) limit = bound.max_error;
  if (bound.has_rel_error()) limit = std::min(limit, inward(bound.rel_error * inward(span)));
  return limit;
}

PredictiveResult<std::vector<std::uint8_t>> compress_bounded(const SampleView& samples,
                                                             const Bound& bound,
                                                             const BlockOptions& options) {
  if (!samples.type.is_valid()) return std::unexpected(PredictiveError::bad_argument("unsupported sample type"));
  if (!bound.given()) return std::unexpected(PredictiveError::bad_argument("no bound given"));
  if (options.block_samples == 0) return std::unexpected(PredictiveError::bad_argument("block size must be positive"));
  const bool needs_range = bound.has_rel_error() || bound.has_psnr();
  const Limits limits = limits_of(bound, needs_range ? sample_range(samples).span() : 0.0);
  auto coded = bound.has_psnr() ? encode_for_psnr(samples, limits, options)
                                : encode_all(samples, limits.per_sample, options);
  if (!coded) return std::unexpected(coded.error());
  const FrameHeader header{samples.type, samples.count, bound, BodyKind::Predictive, 0.0};
  return assemble_frame(header, coded->blocks, options.block_samples);
}

}  // namespace tessarine::frame
