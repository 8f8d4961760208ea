#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "predictive/error.hpp"
#include "predictive/sample_type.hpp"

namespace tessarine::predictive {

// An error-bounded predictive stream and the error its decoding will have, measured on the
// finite samples exactly as decode_stream returns them.
struct EncodedStream {
  std::vector<std::uint8_t> bytes;
  double max_abs_error = 0.0;
  double sum_squared_error = 0.0;
  std::size_t finite_count = 0;
};

// Every decoded finite sample is within max_error of its input in exact arithmetic; non-finite
// samples come back bit for bit, and so does everything when max_error is 0 (for integers,
// when it is below 1). The caller keeps the type, count and bound; the stream holds the rest.
[[nodiscard]] PredictiveResult<EncodedStream> encode_stream(const SampleView& samples, double max_error);

// Decodes `count` samples of `type` into `out` (exactly count * type.size bytes, native
// order). Any bytes give either samples or an error, never a read or write out of bounds.
[[nodiscard]] PredictiveResult<void> decode_stream(std::span<const std::uint8_t> stream, SampleType type,
                                                   std::size_t count, std::span<std::byte> out);

// Samples per chunk: chunks restart prediction, so each can be decoded on its own.
inline constexpr std::size_t kStreamChunk = std::size_t{1} << 16;

// Where each of the stream's chunks of kStreamChunk samples starts, and its end last, read from the
// chunk headers alone, so that chunks can be decoded apart (on several threads). Fails where the
// layout is damaged; decode_stream then gives the error it would give.
[[nodiscard]] PredictiveResult<std::vector<std::size_t>> find_chunks(
    std::span<const std::uint8_t> stream, SampleType type, std::size_t count);

// Decodes chunks [first, last) of a stream of `count` samples, `starts` from find_chunks, into
// `out` (exactly their samples). Chunks decoded this way give the bytes and errors decode_stream
// gives for them.
[[nodiscard]] PredictiveResult<void> decode_stream_chunks(std::span<const std::uint8_t> stream,
                                                          SampleType type, std::size_t count,
                                                          std::span<const std::size_t> starts,
                                                          std::size_t first, std::size_t last,
                                                          std::span<std::byte> out);

}  // namespace tessarine::predictive
