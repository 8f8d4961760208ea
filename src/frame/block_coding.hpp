#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "frame/block_index.hpp"
#include "predictive/sample_type.hpp"

namespace tessarine::frame {

// One block coded on its own: the predictive stream, or its samples verbatim when that would
// not be smaller; with the error its decoding has on the finite samples.
struct EncodedBlock {
  BodyKind kind = BodyKind::Predictive;
  std::vector<std::uint8_t> bytes;
  double largest_error = 0.0;
  double sum_squared_error = 0.0;
  std::size_t finite_count = 0;
};

[[nodiscard]] PredictiveResult<EncodedBlock> encode_block(const predictive::SampleView& samples,
                                                          double max_error);

// Blocks of `block_samples` (the last may be shorter), coded on up to `threads` threads; the
// bytes do not depend on the thread count.
[[nodiscard]] PredictiveResult<std::vector<EncodedBlock>> encode_blocks(
    const predictive::SampleView& samples, double max_error, std::uint64_t block_samples,
    unsigned threads);

// Whether a block's bytes are the size its index gives and pass its CRC.
[[nodiscard]] PredictiveResult<void> check_block(const BlockSpan& block,
                                                 std::span<const std::uint8_t> bytes);

// Decodes one block's bytes (its CRC checked first) into `out`, exactly its samples' bytes.
[[nodiscard]] PredictiveResult<void> decode_block(SampleType type, const BlockSpan& block,
                                                  std::span<const std::uint8_t> bytes,
                                                  std::span<std::byte> out);

// Samples [low, high) of one block (its CRC checked first) into `out`, exactly their bytes:
// only the chunks that hold them are decoded.
[[nodiscard]] PredictiveResult<void> decode_block_part(SampleType type, const BlockSpan& block,
                                                       std::span<const std::uint8_t> bytes,
                                                       std::uint64_t low, std::uint64_t high,
                                                       std::span<std::byte> out);

// The same for a block check_block has passed: nothing is checked twice.
[[nodiscard]] PredictiveResult<void> decode_checked_part(SampleType type, const BlockSpan& block,
                                                         std::span<const std::uint8_t> bytes,
                                                         std::uint64_t low, std::uint64_t high,
                                                         std::span<std::byte> out);

}  // namespace tessarine::frame
