// `tessarine_tools._native`: the codec core for any real-valued NumPy array, with the
// interpreter lock released around the codec work. Codes, not names, cross this boundary;
// the pure-Python package maps names to codes.
#include <nanobind/nanobind.h>

#include "tools_native/native_functions.hpp"

namespace nb = nanobind;
using namespace nb::literals;
namespace tools = tessarine::tools;

NB_MODULE(_native, m) {
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
        "rel_error"_a = nb::none(), "psnr"_a = nb::none(),
        "A version-2 frame of a 1-D real array meeting every bound given.");
  m.def("frame_fields", &tools::frame_fields, "data"_a,
        "The fields of a version-2 frame's header, after its checksum is checked.");
  m.def("decode_frame", &tools::decode_frame_into, "data"_a, "out"_a,
        "Decode a version-2 frame into `out`, a contiguous array of its dtype and length.");
}
