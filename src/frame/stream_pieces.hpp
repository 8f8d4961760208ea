#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "predictive/error.hpp"
#include "predictive/sample_type.hpp"

namespace tessarine::frame {

using predictive::PredictiveResult;
using predictive::SampleType;

// Samples [low, high) of one predictive stream (a block, or a frame's single body), to be
// decoded from the chunks that hold them alone.
struct StreamPiece {
  std::span<const std::uint8_t> stream;
  std::uint64_t count = 0;              // the stream's samples
  std::span<const std::size_t> starts;  // its chunks, as predictive::find_chunks gives them
  std::uint64_t low = 0;
  std::uint64_t high = 0;
};

// Cuts `whole` into pieces of at most `chunks` chunks each (chunks >= 1), in sample order, so
// that threads can share one long stream.
[[nodiscard]] std::vector<StreamPiece> cut_piece(const StreamPiece& whole, std::size_t chunks);

// Decodes a piece into `out` (exactly its samples): straight into `out` when the piece starts
// and ends on chunk edges, through a scratch copy of its chunks otherwise.
[[nodiscard]] PredictiveResult<void> decode_piece(const StreamPiece& piece, SampleType type,
                                                  std::span<std::byte> out);

// Samples [low, low + out.size() / item size) of a stream of `count` samples, decoded whole and
// in order (through a scratch copy unless `out` is all of it): the path for streams whose chunks
// cannot be found, as it gives the error their damage earns.
[[nodiscard]] PredictiveResult<void> decode_whole_stream(std::span<const std::uint8_t> stream,
                                                         SampleType type, std::uint64_t count,
                                                         std::uint64_t low,
                                                         std::span<std::byte> out);

}  // namespace tessarine::frame
