// libFuzzer target: any signal and options either compress with an error message or give a
// container that decodes to the right length, within an error bound derived from the scale.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>

#include "codec/compressor.hpp"
#include "codec/decompressor.hpp"
#include "codec/header.hpp"
#include "codec/quantize.hpp"
#include "fuzz_signal.hpp"

namespace {

using tessarine::CompressionOptions;

float sanitized(float x) {
  if (std::isnan(x)) return 0.0f;
  if (std::isinf(x)) return x > 0 ? 1.0f : 0.0f;
  return x;
}

// Quantisation moves a coefficient by at most (threshold + 1) steps of 2^-scale of the range;
// each level's synthesis spreads that over a few taps. Clamped coefficients (a coarse
// approximation past 32767 steps) have no such bound, so signals deep enough to reach the
// clamp at this scale are only checked for length.
bool bounded_error(std::span<const float> x, std::span<const float> y,
                   const CompressionOptions& options, unsigned levels) {
  if (levels + options.scale >= 15) return true;
  float lo = std::numeric_limits<float>::infinity();
  float hi = -lo;
  for (const float v : x) {
    lo = std::min(lo, sanitized(v));
    hi = std::max(hi, sanitized(v));
  }
  const double range = static_cast<double>(hi) - lo;
  const double steps = tessarine::detail_threshold(options.scale, options.cutoff) + 1.0;
  const double rounding =
      16 * std::numeric_limits<float>::epsilon() * (std::max(std::abs(lo), std::abs(hi)) + range);
  const double flat = std::isfinite(1.0f / static_cast<float>(range)) ? 0.0 : range;
  const double bound =
      range * steps * std::ldexp(1.0, -options.scale) * 8.0 * (levels + 1) + rounding + flat;
  for (std::size_t i = 0; i < x.size(); ++i) {
    if (!(std::abs(static_cast<double>(y[i]) - sanitized(x[i])) <= bound)) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> in(data, size);
  if (in.size() < tessarine::fuzz::kOptionBytes) return 0;
  const CompressionOptions options = tessarine::fuzz::options_from(in);
  const auto x = tessarine::fuzz::samples_from(in.subspan(tessarine::fuzz::kOptionBytes));
  const auto container = tessarine::compress(x, options);
  if (!container) {
    if (container.error().display().empty()) __builtin_trap();
    return 0;
  }
  const auto header = tessarine::TessarineHeader::from_bytes(*container);
  const auto y = tessarine::decompress(*container);
  if (!header || !y || y->size() != x.size()) __builtin_trap();
  if (!bounded_error(x, *y, options, header->levels)) __builtin_trap();
  return 0;
}
