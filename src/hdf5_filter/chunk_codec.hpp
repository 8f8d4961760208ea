#pragma once

// A chunk as lanes along one axis (the last unless the writer named another), each lane one
// frame (or one container), in the layout of the numcodecs codec (docs/format.md, chunk
// layout): u32 lane count, u32 size of each lane, the lanes back to back. A chunk gives the
// bytes the codec gives for it with the lane axis moved last.

#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <vector>

#include "hdf5_filter/client_data.hpp"

namespace tessarine::hdf5 {

template <class T>
using ChunkResult = std::expected<T, std::string>;

// Bytes of a decoded chunk: lanes x lane length x element size.
[[nodiscard]] std::uint64_t chunk_bytes(const FilterSettings& settings);

// `samples` holds the chunk in the dataset's byte order; settings carry its element and shape.
[[nodiscard]] ChunkResult<std::vector<std::uint8_t>> encode_chunk(
    const FilterSettings& settings, std::span<const std::uint8_t> samples);

// Decodes into `out` (exactly chunk_bytes), refusing a chunk whose lanes do not match the
// dataset's element type and chunk shape.
[[nodiscard]] ChunkResult<void> decode_chunk(const FilterSettings& settings,
                                             std::span<const std::uint8_t> data,
                                             std::span<std::uint8_t> out);

}  // namespace tessarine::hdf5
