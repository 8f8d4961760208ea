// `tessarine_tools._native`: the codec core for any real-valued NumPy array, with the
// interpreter lock released around the codec work. Codes, not names, cross this boundary;
// the pure-Python package maps names to codes.
#include <nanobind/nanobind.h>
#include <nanobind/stl/optional.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/vector.h>

#include "tools_native/codec_options.hpp"
#include "tools_native/native_functions.hpp"

namespace nb = nanobind;
using namespace nb::literals;
namespace tools = tessarine::tools;

NB_MODULE(_native, m) {
  tools::add_setting_names(m);
  m.def("compress", &tools::compress_array, "data"_a, "method"_a, "scale"_a, "cutoff"_a,
        "coder"_a, "Compress a 1-D real array into one container.");
  m.def("decompress", &tools::decompress_bytes, "data"_a, "out"_a = nb::none(),
        "Decode a container into a new float32 array, or into `out`.");
  m.def("reconstruct", &tools::reconstruct_array, "data"_a, "method"_a, "scale"_a, "cutoff"_a,
        "The samples decompress(compress(data, ...)) gives, without entropy coding.");
  m.def("header", &tools::header_fields, "data"_a, "The fields of a container's header.");
  m.def("encode_bytes", &tools::encode_byte_stream, "data"_a, "Entropy-code bytes losslessly.");
  m.def("decode_bytes", &tools::decode_byte_stream, "data"_a, "Decode encode_bytes' output.");
  m.def("compress_frame", &tools::compress_frame, "data"_a, "max_error"_a = nb::none(),
        "rel_error"_a = nb::none(), "psnr"_a = nb::none(), "block_size"_a = 1u << 20,
        "threads"_a = 1, "A version-2 frame of a 1-D real array meeting every bound given.");
  m.def("frame_fields", &tools::frame_fields, "data"_a, "whole"_a = true,
        "The fields of a version-2 frame's header, after its checksum is checked (with "
        "whole=False only the header and block index of a blocked frame).");
  m.def("decode_frame", &tools::decode_frame_into, "data"_a, "out"_a, "start"_a = 0,
        "stop"_a.none() = nb::none(), "threads"_a = 1,
        "Decode samples [start, stop) of a version-2 frame into `out`, a contiguous array of "
        "its dtype and the window's length.");
  m.def("compress_channels", &tools::compress_channels, "data"_a, "dtype"_a, "channels"_a,
        "max_error"_a.none(), "rel_error"_a.none(), "psnr"_a.none(), "block_size"_a = 1u << 20,
        "threads"_a = 1, "joint"_a = true,
        "One frame of a C-contiguous channels x samples array; max_error may be per channel.");
  m.def("channel_spans", &tools::channel_spans, "data"_a,
        "Each channel's own frame in a frame of channels (offset, size, predictor terms), "
        "after the checksum is checked.");
  m.def("decode_channels", &tools::decode_channels_into, "data"_a, "channels"_a, "out"_a,
        "threads"_a = 1, "Decode the channels listed, in order, into the rows of `out`.");
  m.def("frame_head", &tools::frame_head, "head"_a,
        "dtype, sample count and whether blocked, from a frame's first 53 bytes (unchecked).");
  m.def("block_tail_size", &tools::block_tail_size, "trailer"_a,
        "The bytes a blocked frame's index and trailer take, from its last 20 bytes.");
  m.def("block_layout", &tools::block_layout, "head"_a, "tail"_a, "body_size"_a,
        "The blocks of a blocked frame (first, samples, offset, size, kind, largest error, "
        "CRC), after the index's checksum is checked.");
  m.def("decode_block", &tools::decode_one_block, "dtype"_a, "block"_a, "data"_a, "out"_a,
        "start"_a = 0, "stop"_a.none() = nb::none(),
        "Decode samples [start, stop) of one block's bytes (its checksum first) into `out`; "
        "only the chunks that hold them are decoded.");
  m.def("encode_blocks", &tools::encode_stream_blocks, "data"_a, "max_error"_a, "block_size"_a,
        "threads"_a = 1, "Code whole blocks: (bytes, kind, largest error, CRC) for each.");
  m.def("finish_blocked", &tools::finish_blocked_frame, "dtype"_a, "count"_a, "max_error"_a.none(),
        "rel_error"_a.none(), "block_size"_a, "blocks"_a, "blocks_crc"_a, "blocks_size"_a,
        "The header and index of a blocked frame whose blocks are already written.");
  m.def("error_limit", &tools::stream_error_limit, "max_error"_a.none(), "rel_error"_a.none(),
        "span"_a,
        "The per-sample bound max_error and rel_error give for a signal of this range.");
  m.def("finite_range", &tools::finite_range, "data"_a,
        "(smallest, largest, count) of the finite samples.");
}
