#include "codec/decompressor.hpp"

#include <algorithm>
#include <string>

#include "codec/compressor.hpp"
#include "codec/header.hpp"
#include "codec/levels.hpp"
#include "codec/normalize.hpp"
#include "codec/payload_decoder.hpp"
#include "codec/quantize.hpp"
#include "codec/transform.hpp"
#include "memory/prefault.hpp"
#include "vibrel/dwt.hpp"

namespace tessarine {
namespace {

constexpr std::uint8_t kMaxDecoderLevels = 10;

TessarineError decompression_error(std::string text) {
  return TessarineError::decompression(std::move(text));
}

[[nodiscard]] TessarineResult<void> check_counts(const TessarineHeader& header) {
  if (header.sample_count > kMaxSampleCount) {
    return std::unexpected(decompression_error("Can't decompress data bigger than " +
                                               std::to_string(kMaxSampleCount) +
                                               ", but data was " +
                                               std::to_string(header.sample_count)));
  }
  if (header.levels > kMaxDecoderLevels) {
    return std::unexpected(decompression_error("Max supported level is 10 but it was " +
                                               std::to_string(header.levels)));
  }
  if (header.levels == 0) {
    return std::unexpected(decompression_error("Min supported level is 1 but it was 0"));
  }
  return {};
}

// Signals shorter than the filter were stored as one level of their periodic extension to
// the filter length; everything else decomposes sample_count samples.
std::vector<vibrel::DwtSize> layout_for(const vibrel::DwtExecutor<float>& executor,
                                        const TessarineHeader& header) {
  const std::size_t filter_length = executor.filter_length();
  if (header.sample_count < filter_length) return band_layout(executor, filter_length, 1);
  return band_layout(executor, header.sample_count, header.levels);
}

[[nodiscard]] TessarineResult<std::span<const std::uint8_t>> payload_of(
    std::span<const std::uint8_t> container, const TessarineHeader& header) {
  const std::uint64_t end = kHeaderSize + std::uint64_t{header.payload_len};
  if (container.size() < end) {
    return std::unexpected(decompression_error("Minimum data size is " + std::to_string(end) +
                                               ", but it was " +
                                               std::to_string(container.size())));
  }
  return container.subspan(kHeaderSize, header.payload_len);
}

// Dequantised bands in one array: the coarsest approximation, then the details finest first,
// with a view that borrows it.
struct Bands {
  std::vector<float> storage;
  vibrel::MultiDwtView<float> view;
};

Bands dequantize_bands(std::span<const std::uint8_t> bytes,
                       const std::vector<vibrel::DwtSize>& layout, std::uint8_t scale) {
  Bands bands{populated_vector<float>(coefficient_count(layout)), {}};
  const std::span<float> all(bands.storage);
  const std::size_t approximation_length = layout.back().approximation_length;
  dequantize_band(bytes, scale, all.first(approximation_length));
  bands.view.approximation = all.first(approximation_length);
  std::size_t at = approximation_length;
  for (const vibrel::DwtSize& size : layout) {
    const std::span<float> band = all.subspan(at, size.details_length);
    dequantize_band(bytes.subspan(2 * at), scale, band);
    bands.view.details.push_back(band);
    at += size.details_length;
  }
  return bands;
}

// Denormalises the kept samples; a short reconstruction is padded with zeros afterwards, so the
// padding is not denormalised.
void fit_to_length(std::vector<float>& samples, const TessarineHeader& header) {
  const std::size_t kept = std::min<std::size_t>(samples.size(), header.sample_count);
  samples.resize(kept);
  denormalize(samples, {header.min, header.max, header.mean});
  samples.resize(header.sample_count, 0.0f);
}

}  // namespace

TessarineResult<std::vector<float>> decompress(std::span<const std::uint8_t> container) {
  const auto header = TessarineHeader::from_bytes(container);
  if (!header) return std::unexpected(header.error());
  const auto counts = check_counts(*header);
  if (!counts) return std::unexpected(counts.error());
  // from_bytes accepted the method code, so the lookup succeeds.
  const vibrel::DwtHandle<float> executor = make_transform(*method_from_code(header->method));
  const std::vector<vibrel::DwtSize> layout = layout_for(*executor, *header);
  const auto payload = payload_of(container, *header);
  if (!payload) return std::unexpected(payload.error());
  auto bytes = decode_payload(*payload, header->coder, 2 * coefficient_count(layout));
  if (!bytes) return std::unexpected(bytes.error());
  Bands bands = dequantize_bands(*bytes, layout, header->scale);
  std::vector<std::uint8_t>().swap(*bytes);
  auto samples = executor->multi_idwt(bands.view);
  if (!samples) return std::unexpected(TessarineError::transform(samples.error().display()));
  fit_to_length(*samples, *header);
  return std::move(*samples);
}

}  // namespace tessarine
