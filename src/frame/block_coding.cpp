#include "frame/block_coding.hpp"

#include <cmath>
#include <cstring>
#include <new>
#include <optional>

#include "frame/checksum.hpp"
#include "frame/integer_spacing.hpp"
#include "frame/parallel_for.hpp"
#include "frame/stream_pieces.hpp"
#include "predictive/bounded_stream.hpp"
#include "predictive/byte_io.hpp"

namespace tessarine::frame {
namespace {

using predictive::PredictiveError;
using predictive::SampleView;

PredictiveResult<std::vector<std::uint8_t>> verbatim_bytes(const SampleView& samples) {
  try {
    const std::size_t size = samples.type.size;
    std::vector<std::uint8_t> bytes(samples.count * size);
    for (std::size_t i = 0; i < samples.count; ++i) {
      std::memcpy(bytes.data() + i * size, predictive::sample_at(samples, i), size);  // little-endian hosts only, as the module
    }
    return bytes;
  } catch (const std::bad_alloc&) {
    return std::unexpected(PredictiveError::out_of_memory());
  }
}

SampleView block_of(const SampleView& samples, std::uint64_t first, std::uint64_t count) {
  return {samples.data + static_cast<std::ptrdiff_t>(first) * samples.stride,
          static_cast<std::size_t>(count), samples.stride, samples.type};
}

// Integer samples that all lie on a grid coarser than the error allowed (ADC codes scaled
// into a wider word) can only come back exactly; the exact coder, which models such signals
// better, then gives the same samples in fewer bytes.
double on_the_grid(const SampleView& samples, double max_error) {
  if (samples.type.is_float() || !(max_error >= 1.0) || std::isinf(max_error)) return max_error;
  const std::uint64_t spacing = integer_spacing(samples);
  return spacing > 1 && std::floor(max_error) < static_cast<double>(spacing) ? 0.0 : max_error;
}

}  // namespace

PredictiveResult<EncodedBlock> encode_block(const SampleView& samples, double max_error) {
  auto stream = predictive::encode_stream(samples, on_the_grid(samples, max_error));
  if (!stream) return std::unexpected(stream.error());
  if (stream->bytes.size() < samples.count * samples.type.size) {
    return EncodedBlock{BodyKind::Predictive, std::move(stream->bytes), stream->max_abs_error,
                        stream->sum_squared_error, stream->finite_count};
  }
  auto bytes = verbatim_bytes(samples);
  if (!bytes) return std::unexpected(bytes.error());
  return EncodedBlock{BodyKind::Verbatim, std::move(*bytes), 0.0, 0.0, stream->finite_count};
}

PredictiveResult<std::vector<EncodedBlock>> encode_blocks(const SampleView& samples,
                                                          double max_error,
                                                          std::uint64_t block_samples,
                                                          unsigned threads) {
  if (block_samples == 0) return std::unexpected(PredictiveError::bad_argument("block size must be positive"));
  const std::size_t count = samples.count == 0 ? 1 : (samples.count - 1) / block_samples + 1;
  std::vector<std::optional<PredictiveResult<EncodedBlock>>> slots;
  std::vector<EncodedBlock> blocks;
  try {
    slots.resize(count);
    blocks.reserve(count);
  } catch (const std::bad_alloc&) {
    return std::unexpected(PredictiveError::out_of_memory());
  }
  parallel_for(count, threads, [&](std::size_t i) {
    const std::uint64_t first = i * block_samples;
    const std::uint64_t length = std::min<std::uint64_t>(block_samples, samples.count - first);
    slots[i] = encode_block(block_of(samples, first, length), max_error);
  });
  for (auto& slot : slots) {
    if (!*slot) return std::unexpected(slot->error());
    blocks.push_back(std::move(**slot));
  }
  return blocks;
}

PredictiveResult<void> check_block(const BlockSpan& block, std::span<const std::uint8_t> bytes) {
  if (bytes.size() != block.size) {
    return std::unexpected(
        PredictiveError::bad_argument("a block's bytes or samples do not match its index"));
  }
  if (crc32_of(bytes) != block.crc) {
    return std::unexpected(PredictiveError::damaged("a block fails its checksum"));
  }
  return {};
}

PredictiveResult<void> decode_block(SampleType type, const BlockSpan& block,
                                    std::span<const std::uint8_t> bytes, std::span<std::byte> out) {
  return decode_block_part(type, block, bytes, 0, block.samples, out);
}

PredictiveResult<void> decode_block_part(SampleType type, const BlockSpan& block,
                                         std::span<const std::uint8_t> bytes, std::uint64_t low,
                                         std::uint64_t high, std::span<std::byte> out) {
  if (low > high || high > block.samples || out.size() != (high - low) * type.size) {
    return std::unexpected(
        PredictiveError::bad_argument("a block's bytes or samples do not match its index"));
  }
  const auto checked = check_block(block, bytes);
  if (!checked) return checked;
  return decode_checked_part(type, block, bytes, low, high, out);
}

PredictiveResult<void> decode_checked_part(SampleType type, const BlockSpan& block,
                                           std::span<const std::uint8_t> bytes, std::uint64_t low,
                                           std::uint64_t high, std::span<std::byte> out) {
  if (low == high) return {};
  if (block.kind == BodyKind::Verbatim) {
    std::memcpy(out.data(), bytes.data() + low * type.size, out.size());
    return {};
  }
  if (low == 0 && high == block.samples) {
    return predictive::decode_stream(bytes, type, block.samples, out);
  }
  const auto chunks = predictive::find_chunks(bytes, type, block.samples);
  if (!chunks) return decode_whole_stream(bytes, type, block.samples, low, out);
  return decode_piece({bytes, block.samples, *chunks, low, high}, type, out);
}

}  // namespace tessarine::frame
