#include "frame/frame_decode.hpp"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>
#include <vector>

#include "frame/block_coding.hpp"
#include "frame/parallel_for.hpp"
#include "frame/stream_pieces.hpp"
#include "predictive/bounded_stream.hpp"

namespace tessarine::frame {
namespace {

using predictive::PredictiveError;

DecodeFailure failure(const PredictiveError& error) { return {error, DecodeFailure::kNoBlock, 0}; }

// Chunks a piece holds when threads share the work: small enough that the last blocks spread
// over every thread, large enough that a piece outweighs its start.
constexpr std::size_t kPieceChunks = 4;

std::size_t piece_chunks(unsigned threads) {
  return threads > 1 ? kPieceChunks : static_cast<std::size_t>(-1) / predictive::kStreamChunk;
}

// The window's part of a checked block decoded on its own: the path for verbatim blocks, and
// for streams whose chunks could not be found (it gives the error a damaged stream earns).
PredictiveResult<void> decode_part(const FrameView& frame, const BlockSpan& block,
                                   std::uint64_t start, std::uint64_t stop,
                                   std::span<std::byte> out) {
  const std::size_t size = frame.header.type.size;
  const std::uint64_t low = std::max(start, block.first);
  const std::uint64_t high = std::min(stop, block.first + block.samples);
  return decode_checked_part(frame.header.type, block,
                             frame.body.subspan(block.offset, block.size), low - block.first,
                             high - block.first,
                             out.subspan((low - start) * size, (high - low) * size));
}

// A block checked (its CRC) and its chunks found, so that its pieces can go to any thread.
// No chunks: the block is decoded whole by decode_part.
struct BlockPlan {
  PredictiveResult<void> checked;
  std::vector<std::size_t> chunks;
};

BlockPlan plan_block(const FrameView& frame, const BlockSpan& block) {
  const auto bytes = frame.body.subspan(block.offset, block.size);
  auto checked = check_block(block, bytes);
  if (!checked || block.kind != BodyKind::Predictive) return {std::move(checked), {}};
  auto chunks = predictive::find_chunks(bytes, frame.header.type, block.samples);
  return {{}, chunks ? std::move(*chunks) : std::vector<std::size_t>{}};
}

// One unit of work: a piece of a block's stream, or the block's part of the window whole.
struct BlockTask {
  std::size_t block;  // among the covered ones
  std::optional<StreamPiece> piece;
};

std::vector<BlockTask> block_tasks(const FrameView& frame, std::size_t first,
                                   std::span<const BlockPlan> plans, std::uint64_t start,
                                   std::uint64_t stop, unsigned threads) {
  std::vector<BlockTask> tasks;
  for (std::size_t i = 0; i < plans.size(); ++i) {
    if (!plans[i].checked) continue;
    const BlockSpan& block = frame.layout.blocks[first + i];
    if (plans[i].chunks.empty()) {
      tasks.push_back({i, std::nullopt});
      continue;
    }
    const StreamPiece whole{frame.body.subspan(block.offset, block.size), block.samples,
                            plans[i].chunks, std::max(start, block.first) - block.first,
                            std::min(stop, block.first + block.samples) - block.first};
    for (const StreamPiece& piece : cut_piece(whole, piece_chunks(threads)))
      tasks.push_back({i, piece});
  }
  return tasks;
}

PredictiveResult<void> run_block_task(const FrameView& frame, std::size_t first,
                                      const BlockTask& task, std::uint64_t start,
                                      std::uint64_t stop, std::span<std::byte> out) {
  const BlockSpan& block = frame.layout.blocks[first + task.block];
  if (!task.piece) return decode_part(frame, block, start, stop, out);
  const std::size_t size = frame.header.type.size;
  const StreamPiece& piece = *task.piece;
  const std::uint64_t at = block.first + piece.low - start;
  return decode_piece(piece, frame.header.type,
                      out.subspan(at * size, (piece.high - piece.low) * size));
}

// Checks the covered blocks, then decodes their pieces; reports the first fault in sample order,
// as decoding block after block would.
DecodeResult decode_blocks(const FrameView& frame, std::uint64_t start, std::uint64_t stop,
                           unsigned threads, std::span<std::byte> out) {
  const auto [first, last] = frame.layout.covering(start, stop);
  try {
    std::vector<BlockPlan> plans(last - first);
    parallel_for(plans.size(), threads, [&](std::size_t i) {
      plans[i] = plan_block(frame, frame.layout.blocks[first + i]);
    });
    const std::vector<BlockTask> tasks = block_tasks(frame, first, plans, start, stop, threads);
    std::vector<PredictiveResult<void>> results(tasks.size());
    parallel_for(tasks.size(), threads, [&](std::size_t t) {
      results[t] = run_block_task(frame, first, tasks[t], start, stop, out);
    });
    for (std::size_t t = 0; t < tasks.size(); ++t) {
      BlockPlan& plan = plans[tasks[t].block];
      if (!results[t] && plan.checked) plan.checked = std::unexpected(results[t].error());
    }
    for (std::size_t i = 0; i < plans.size(); ++i) {
      if (!plans[i].checked) {
        return std::unexpected(
            DecodeFailure{plans[i].checked.error(), first + i, frame.layout.blocks.size()});
      }
    }
    return {};
  } catch (const std::bad_alloc&) {
    return std::unexpected(failure(PredictiveError::out_of_memory()));
  }
}

// A single body: verbatim bytes are copied; a stream is decoded from the chunks the window
// needs, shared among the threads.
PredictiveResult<void> decode_single(const FrameView& frame, std::uint64_t start,
                                     std::uint64_t stop, unsigned threads,
                                     std::span<std::byte> out) {
  const std::size_t size = frame.header.type.size;
  if (frame.header.body == BodyKind::Verbatim) {
    if (!out.empty()) std::memcpy(out.data(), frame.body.data() + start * size, out.size());
    return {};
  }
  const auto chunks = predictive::find_chunks(frame.body, frame.header.type, frame.header.count);
  if (!chunks) {
    return decode_whole_stream(frame.body, frame.header.type, frame.header.count, start, out);
  }
  try {
    const StreamPiece whole{frame.body, frame.header.count, *chunks, start, stop};
    const std::vector<StreamPiece> pieces = cut_piece(whole, piece_chunks(threads));
    std::vector<PredictiveResult<void>> results(pieces.size());
    parallel_for(pieces.size(), threads, [&](std::size_t p) {
      const StreamPiece& piece = pieces[p];
      results[p] =
          decode_piece(piece, frame.header.type,
                       out.subspan((piece.low - start) * size, (piece.high - piece.low) * size));
    });
    for (const auto& result : results) {
      if (!result) return result;
    }
    return {};
  } catch (const std::bad_alloc&) {
    return std::unexpected(PredictiveError::out_of_memory());
  }
}

}  // namespace

std::string DecodeFailure::display() const {
  std::string text = error.display();
  if (block != kNoBlock) text += " (block " + std::to_string(block) + " of " + std::to_string(blocks) + ")";
  return text;
}

DecodeResult decode_window(const FrameView& frame, std::uint64_t start, std::uint64_t stop,
                           unsigned threads, std::span<std::byte> out) {
  const FrameHeader& header = frame.header;
  if (start > stop || stop > header.count || out.size() != (stop - start) * header.type.size) {
    return std::unexpected(failure(PredictiveError::bad_argument("out does not match the frame's samples")));
  }
  if (start == stop) return {};
  if (header.body == BodyKind::Channels) {
    return std::unexpected(failure(PredictiveError::bad_argument("a multichannel frame decodes by its channels")));
  }
  if (header.body == BodyKind::Blocked) return decode_blocks(frame, start, stop, threads, out);
  auto decoded = decode_single(frame, start, stop, threads, out);
  if (!decoded) return std::unexpected(failure(decoded.error()));
  return {};
}

DecodeResult decode_frame(const FrameView& frame, std::span<std::byte> out, unsigned threads) {
  return decode_window(frame, 0, frame.header.count, threads, out);
}

}  // namespace tessarine::frame
