#pragma once

// Adaptive binary rANS coder for planes of byte symbols, and the stream framing that splits
// 16-bit coefficient bytes into a low-byte and a high-byte plane. Every byte of the coded
// form is fixed: streams written by one build decode in every other.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "entropy/arans_error.hpp"

namespace tessarine::arans {

// Largest number of symbols per plane a stream may declare; decode_stream rejects more, so
// encode_stream must not be given more than kMaxStreamInputBytes bytes.
inline constexpr std::uint64_t kMaxPairCount = std::uint64_t{1} << 28;
inline constexpr std::uint64_t kMaxStreamInputBytes = 2 * kMaxPairCount + 1;

// Codes one plane of byte symbols under a model whose context is the top `context_bits`
// (0 to 8; larger values act as 8) bits of the previous symbol. No symbols give no bytes.
// Out of memory throws std::bad_alloc, as for any allocation of the host.
[[nodiscard]] std::vector<std::uint8_t> encode_plane(std::span<const std::uint8_t> symbols,
                                                     unsigned context_bits);

// Decodes `count` symbols from a coded plane that ends where `coded` ends. Never reads
// outside `coded`; needing a word past its end gives Truncated, `context_bits` above 8 or a
// `count` whose output cannot be allocated InvalidLength.
[[nodiscard]] AransResult<std::vector<std::uint8_t>> decode_plane(
    std::span<const std::uint8_t> coded, std::size_t count, unsigned context_bits);

// Inputs of 0 to 5 bytes are stored unchanged; longer ones are split into two planes.
[[nodiscard]] std::vector<std::uint8_t> encode_stream(std::span<const std::uint8_t> input);

[[nodiscard]] AransResult<std::vector<std::uint8_t>> decode_stream(
    std::span<const std::uint8_t> stream);

// The same checks and errors, but only the first `max_bytes` decoded bytes are kept: every
// symbol is still decoded and checked, while memory follows what the caller will use.
[[nodiscard]] AransResult<std::vector<std::uint8_t>> decode_stream(
    std::span<const std::uint8_t> stream, std::uint64_t max_bytes);

// The number of bytes `stream` decodes to, from its framing alone, with the errors that
// decode_stream gives for a malformed framing (a plane too short for the declared symbols
// included). A stream that passes can still fail later inside a plane.
[[nodiscard]] AransResult<std::uint64_t> decoded_stream_size(std::span<const std::uint8_t> stream);

// Reads one unsigned LEB128 value of up to 64 bits at `position` and moves `position` past it.
[[nodiscard]] AransResult<std::uint64_t> rv(std::span<const std::uint8_t> bytes,
                                            std::size_t& position);

}  // namespace tessarine::arans
