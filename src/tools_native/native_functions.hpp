#pragma once

#include <nanobind/nanobind.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessarine::tools {

namespace nb = nanobind;

// The functions of `tessarine_tools._native`. Each pins its inputs, releases the interpreter
// lock for the codec work and raises ValueError with the codec's text on failure.
[[nodiscard]] nb::bytes compress_array(nb::handle data, int method, int scale, int cutoff,
                                       int coder);
[[nodiscard]] nb::object reconstruct_array(nb::handle data, int method, int scale, int cutoff);
[[nodiscard]] nb::object decompress_bytes(nb::handle data, nb::handle out);
[[nodiscard]] nb::dict header_fields(nb::handle data);
[[nodiscard]] nb::bytes encode_byte_stream(nb::handle data);
[[nodiscard]] nb::bytes decode_byte_stream(nb::handle data);
[[nodiscard]] nb::bytes compress_frame(nb::handle data, nb::handle max_error,
                                       nb::handle rel_error, nb::handle psnr,
                                       std::uint64_t block_size, unsigned threads);
[[nodiscard]] nb::dict frame_fields(nb::handle data, bool whole);
[[nodiscard]] nb::object decode_frame_into(nb::handle data, nb::handle out, std::uint64_t start,
                                           nb::handle stop, unsigned threads);

// Multichannel frames.
[[nodiscard]] nb::bytes compress_channels(nb::handle data, const std::string& dtype,
                                          std::size_t channels, nb::handle max_error,
                                          nb::handle rel_error, nb::handle psnr,
                                          std::uint64_t block_size, unsigned threads, bool joint);
[[nodiscard]] nb::list channel_spans(nb::handle data);
[[nodiscard]] nb::object decode_channels_into(nb::handle data,
                                              const std::vector<std::size_t>& wanted,
                                              nb::handle out, unsigned threads);

// The pieces of a stream reader and writer.
[[nodiscard]] nb::dict frame_head(nb::handle head);
[[nodiscard]] std::uint64_t block_tail_size(nb::handle trailer);
[[nodiscard]] nb::list block_layout(nb::handle head, nb::handle tail, std::uint64_t body_size);
[[nodiscard]] nb::object decode_one_block(const std::string& dtype, nb::handle block,
                                          nb::handle data, nb::handle out, std::uint64_t start,
                                          std::optional<std::uint64_t> stop);
[[nodiscard]] nb::list encode_stream_blocks(nb::handle data, double max_error,
                                            std::uint64_t block_size, unsigned threads);
[[nodiscard]] nb::tuple finish_blocked_frame(const std::string& dtype, std::uint64_t count,
                                             nb::handle max_error, nb::handle rel_error,
                                             std::uint64_t block_size, nb::handle blocks,
                                             std::uint32_t blocks_crc, std::uint64_t blocks_size);
[[nodiscard]] double stream_error_limit(nb::handle max_error, nb::handle rel_error, double span);
[[nodiscard]] nb::tuple finite_range(nb::handle data);

}  // namespace tessarine::tools
