#include "frame/stream_pieces.hpp"

#include <algorithm>
#include <cstring>
#include <new>

#include "predictive/bounded_stream.hpp"

namespace tessarine::frame {
namespace {

using predictive::kStreamChunk;
using predictive::PredictiveError;

std::uint64_t chunk_edge_below(std::uint64_t sample) {
  return sample / kStreamChunk;
}
std::uint64_t chunk_edge_above(std::uint64_t sample) {
  return (sample + kStreamChunk - 1) / kStreamChunk;
}

}  // namespace

std::vector<StreamPiece> cut_piece(const StreamPiece& whole, std::size_t chunks) {
  std::vector<StreamPiece> pieces;
  const std::uint64_t span = std::uint64_t{chunks} * kStreamChunk;
  for (std::uint64_t low = whole.low; low < whole.high;) {
    const std::uint64_t high = std::min(whole.high, (low / span + 1) * span);
    StreamPiece piece = whole;
    piece.low = low;
    piece.high = high;
    pieces.push_back(piece);
    low = high;
  }
  return pieces;
}

PredictiveResult<void> decode_piece(const StreamPiece& piece, SampleType type,
                                    std::span<std::byte> out) {
  const std::size_t first = chunk_edge_below(piece.low);
  const std::size_t last = chunk_edge_above(piece.high);
  const std::uint64_t begin = first * std::uint64_t{kStreamChunk};
  const std::uint64_t end = std::min(piece.count, last * std::uint64_t{kStreamChunk});
  if (begin == piece.low && end == piece.high) {
    return predictive::decode_stream_chunks(piece.stream, type, piece.count, piece.starts, first,
                                            last, out);
  }
  try {
    std::vector<std::byte> chunks((end - begin) * type.size);
    auto decoded = predictive::decode_stream_chunks(piece.stream, type, piece.count, piece.starts,
                                                    first, last, chunks);
    if (!decoded) return decoded;
    std::memcpy(out.data(), chunks.data() + (piece.low - begin) * type.size, out.size());
    return {};
  } catch (const std::bad_alloc&) {
    return std::unexpected(PredictiveError::out_of_memory());
  }
}

PredictiveResult<void> decode_whole_stream(std::span<const std::uint8_t> stream, SampleType type,
                                           std::uint64_t count, std::uint64_t low,
                                           std::span<std::byte> out) {
  if (out.size() == count * type.size) return predictive::decode_stream(stream, type, count, out);
  try {
    std::vector<std::byte> whole(count * type.size);
    auto decoded = predictive::decode_stream(stream, type, count, whole);
    if (!decoded) return decoded;
    std::memcpy(out.data(), whole.data() + low * type.size, out.size());
    return {};
  } catch (const std::bad_alloc&) {
    return std::unexpected(PredictiveError::out_of_memory());
  }
}

}  // namespace tessarine::frame
