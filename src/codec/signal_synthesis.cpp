#include "codec/signal_synthesis.hpp"

#include <algorithm>
#include <utility>

#include "codec/levels.hpp"
#include "codec/normalize.hpp"
#include "codec/quantize.hpp"
#include "memory/prefault.hpp"

namespace tessarine {
namespace {

// Denormalises the kept samples; a short reconstruction is padded with zeros afterwards, so the
// padding is not denormalised.
void fit_to_length(std::vector<float>& samples, const Normalization& values,
                   std::uint32_t sample_count) {
  const std::size_t kept = std::min<std::size_t>(samples.size(), sample_count);
  samples.resize(kept);
  denormalize(samples, values);
  samples.resize(sample_count, 0.0f);
}

}  // namespace

vibrel::MultiDwtStorage<float> dequantize_bands(std::span<const std::uint8_t> bytes,
                                                const std::vector<vibrel::DwtSize>& layout,
                                                std::uint8_t scale) {
  vibrel::MultiDwtStorage<float> bands{populated_vector<float>(coefficient_count(layout)),
                                       layout.back().approximation_length, {}};
  const std::span<float> all(bands.values);
  dequantize_band(bytes, scale, all.first(bands.approximation_length));
  // The bytes hold the details finest first; the array takes them coarsest first, so the finest
  // band ends it and each byte band starts where the finer ones before it end.
  std::size_t byte_band = bands.approximation_length;
  std::size_t end = all.size();
  for (const vibrel::DwtSize& size : layout) {
    end -= size.details_length;
    dequantize_band(bytes.subspan(2 * byte_band), scale, all.subspan(end, size.details_length));
    byte_band += size.details_length;
  }
  for (auto size = layout.rbegin(); size != layout.rend(); ++size) {
    bands.details_lengths.push_back(size->details_length);
  }
  return bands;
}

std::vector<vibrel::DwtSize> stored_layout(const vibrel::DwtExecutor<float>& executor,
                                           std::uint32_t sample_count, std::uint8_t levels) {
  const std::size_t filter_length = executor.filter_length();
  if (sample_count < filter_length) return band_layout(executor, filter_length, 1);
  return band_layout(executor, sample_count, levels);
}

TessarineResult<std::vector<float>> synthesize_signal(
    const vibrel::DwtExecutor<float>& executor, vibrel::MultiDwtStorage<float>&& bands,
    const TessarineHeader& header) {
  return synthesize_signal(executor, std::move(bands), {header.min, header.max, header.mean},
                           header.sample_count);
}

TessarineResult<std::vector<float>> synthesize_signal(
    const vibrel::DwtExecutor<float>& executor, vibrel::MultiDwtStorage<float>&& bands,
    const Normalization& values, std::uint32_t sample_count) {
  auto samples = executor.multi_idwt_consuming(std::move(bands));
  if (!samples) return std::unexpected(TessarineError::transform(samples.error().display()));
  fit_to_length(*samples, values, sample_count);
  return std::move(*samples);
}

}  // namespace tessarine
