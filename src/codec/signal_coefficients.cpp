#include "codec/signal_coefficients.hpp"

#include <cmath>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>

#include "codec/compressor.hpp"
#include "codec/levels.hpp"
#include "codec/quantize.hpp"
#include "codec/transform.hpp"
#include "memory/prefault.hpp"
#include "vibrel/dwt.hpp"

namespace tessarine {
namespace {

struct PreparedSignal {
  std::vector<float> samples;
  Normalization values;
};

TessarineError configuration_error(std::string text) {
  return TessarineError::unsupported_configuration(std::move(text));
}

// The binding validates options; a C++ caller that casts its way past the enums still gets an
// error value rather than undefined behaviour.
[[nodiscard]] TessarineResult<void> check_options(const CompressionOptions& options) {
  if (method_name(options.method).empty()) {
    return std::unexpected(configuration_error("Unknown method code " +
                                               std::to_string(static_cast<int>(options.method))));
  }
  if (cutoff_name(options.cutoff).empty()) {
    return std::unexpected(configuration_error("Unknown cutoff code " +
                                               std::to_string(static_cast<int>(options.cutoff))));
  }
  if (coder_name(options.coder).empty()) {
    return std::unexpected(configuration_error("Unknown coder code " +
                                               std::to_string(static_cast<int>(options.coder))));
  }
  if (options.scale < kMinScale || options.scale > kMaxScale) {
    return std::unexpected(TessarineError::unsupported_scale(options.scale));
  }
  return {};
}

[[nodiscard]] TessarineResult<void> check_size(std::size_t n) {
  if (n == 0) return std::unexpected(configuration_error("Can't compress empty data"));
  if (n > kMaxSampleCount) {
    return std::unexpected(configuration_error("Can't compress data bigger than " +
                                               std::to_string(kMaxSampleCount) + ", but data was " +
                                               std::to_string(n)));
  }
  return {};
}

// Sanitised, normalised working copy. A range that overflows f32 would normalise to NaN and
// produce a header no decoder accepts, so it is refused here.
[[nodiscard]] TessarineResult<PreparedSignal> prepare_signal(std::span<const float> input) {
  PreparedSignal signal{populated_vector<float>(input.size()), {}};
  const SampleRange range = sanitize_and_range(input, signal.samples);
  if (!std::isfinite(range.max - range.min)) {
    return std::unexpected(configuration_error(
        "Can't compress data whose range (max - min) exceeds the largest 32-bit float"));
  }
  signal.values = normalize(signal.samples, range);
  return signal;
}

// Signals shorter than the filter are repeated periodically up to its length.
void extend_periodically(std::vector<float>& samples, std::size_t length) {
  const std::size_t n = samples.size();
  if (n == 0 || n >= length) return;
  samples.resize(length);
  for (std::size_t i = n; i < length; ++i) samples[i] = samples[i % n];
}

// Consumes `signal`; only the bands that are quantised are kept.
[[nodiscard]] TessarineResult<vibrel::MultiDwt<float>> forward_transform(
    const vibrel::DwtExecutor<float>& executor, std::vector<float>&& signal, std::size_t levels) {
  auto result = executor.multi_dwt_consuming(std::move(signal), levels);
  if (!result) return std::unexpected(TessarineError::transform(result.error().display()));
  if (result->levels.empty()) {
    return std::unexpected(
        TessarineError::transform("Internal DWT returned zero levels, what shouldn't happen"));
  }
  return std::move(*result);
}

// Coarsest approximation band, then the detail bands finest first.
[[nodiscard]] TessarineResult<std::vector<std::int16_t>> quantize_levels(
    const vibrel::MultiDwt<float>& dwt, const CompressionOptions& options) {
  const std::vector<float>& approximation = dwt.levels.back().approximations;
  std::size_t detail_count = 0;
  for (const auto& level : dwt.levels) detail_count += level.details.size();
  std::vector<std::int16_t> coefficients;
  try {
    coefficients = populated_vector<std::int16_t>(approximation.size() + detail_count);
  } catch (const std::bad_alloc&) {
    return std::unexpected(TessarineError::out_of_memory(detail_count));
  } catch (const std::length_error&) {
    return std::unexpected(TessarineError::out_of_memory(detail_count));
  }
  quantize_band(approximation, options.scale, 0, coefficients);
  const std::uint16_t threshold = detail_threshold(options.scale, options.cutoff);
  std::size_t at = approximation.size();
  for (const auto& level : dwt.levels) {
    quantize_band(level.details, options.scale, threshold,
                  std::span(coefficients).subspan(at, level.details.size()));
    at += level.details.size();
  }
  return coefficients;
}

}  // namespace

TessarineResult<void> check_request(std::size_t sample_count, const CompressionOptions& options) {
  const auto sized = check_size(sample_count);
  if (!sized) return sized;
  return check_options(options);
}

TessarineResult<QuantizedSignal> quantize_signal(const vibrel::DwtExecutor<float>& executor,
                                                 std::span<const float> samples,
                                                 const CompressionOptions& options) {
  auto signal = prepare_signal(samples);
  if (!signal) return std::unexpected(signal.error());
  const std::size_t n = samples.size();
  const std::size_t filter_length = executor.filter_length();
  extend_periodically(signal->samples, filter_length);
  const std::uint32_t levels = decomposition_levels(n, filter_length);
  auto dwt = forward_transform(executor, std::move(signal->samples), levels);
  if (!dwt) return std::unexpected(dwt.error());
  auto coefficients = quantize_levels(*dwt, options);
  if (!coefficients) return std::unexpected(coefficients.error());
  return QuantizedSignal{std::move(*coefficients), signal->values, levels};
}

TessarineResult<QuantizedRequest> quantize_request(std::span<const float> samples,
                                                   const CompressionOptions& options) {
  const auto valid = check_request(samples.size(), options);
  if (!valid) return std::unexpected(valid.error());
  QuantizedRequest request{make_transform(options.method), {}};
  auto signal = quantize_signal(*request.executor, samples, options);
  if (!signal) return std::unexpected(signal.error());
  request.signal = std::move(*signal);
  return request;
}

TessarineHeader header_for(const CompressionOptions& options, const QuantizedSignal& signal,
                           std::size_t sample_count, std::uint8_t coder) {
  TessarineHeader header;
  header.method = method_code(options.method);
  header.levels = static_cast<std::uint8_t>(signal.levels);
  header.scale = options.scale;
  header.coder = coder;
  header.sample_count = static_cast<std::uint32_t>(sample_count);
  header.min = signal.values.min;
  header.max = signal.values.max;
  header.mean = signal.values.mean;
  return header;
}

}  // namespace tessarine
