#pragma once

#include <nanobind/nanobind.h>

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
                                       nb::handle rel_error, nb::handle psnr);
[[nodiscard]] nb::dict frame_fields(nb::handle data);
[[nodiscard]] nb::object decode_frame_into(nb::handle data, nb::handle out);

}  // namespace tessarine::tools
