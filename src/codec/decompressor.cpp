#include "codec/decompressor.hpp"

#include <string>
#include <utility>

#include "codec/compressor.hpp"
#include "codec/header.hpp"
#include "codec/levels.hpp"
#include "codec/payload_decoder.hpp"
#include "codec/signal_synthesis.hpp"
#include "codec/transform.hpp"
#include "vibrel/dwt.hpp"

namespace tessarine {
namespace {

constexpr std::uint8_t kMaxDecoderLevels = 10;

TessarineError decompression_error(std::string text) {
  return TessarineError::decompression(std::move(text));
}

}  // namespace

TessarineResult<void> check_counts(const TessarineHeader& header) {
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

namespace {

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

}  // namespace

TessarineResult<std::vector<float>> decompress(std::span<const std::uint8_t> container) {
  const auto header = TessarineHeader::from_bytes(container);
  if (!header) return std::unexpected(header.error());
  const auto counts = check_counts(*header);
  if (!counts) return std::unexpected(counts.error());
  // from_bytes accepted the method code, so the lookup succeeds.
  const vibrel::DwtHandle<float> executor = make_transform(*method_from_code(header->method));
  const std::vector<vibrel::DwtSize> layout =
      stored_layout(*executor, header->sample_count, header->levels);
  const auto payload = payload_of(container, *header);
  if (!payload) return std::unexpected(payload.error());
  auto bytes = decode_payload(*payload, header->coder, 2 * coefficient_count(layout));
  if (!bytes) return std::unexpected(bytes.error());
  auto bands = dequantize_bands(*bytes, layout, header->scale);
  std::vector<std::uint8_t>().swap(*bytes);
  return synthesize_signal(*executor, std::move(bands), *header);
}

}  // namespace tessarine
