#pragma once

#include <Python.h>

namespace tessarine::python {

// The doc strings start with the call signature and "--", from which the interpreter derives
// __text_signature__ (and so inspect.signature) and strips it from __doc__.
inline constexpr char kCompressSignalDoc[] =
    "compress_signal(data, options=None)\n--\n\n"
    "Compress a 1-D float32 **or** float64 NumPy array into Tessarine `bytes`.\n\n"
    "float64 input is downcast to float32 before compression (the codec works in\n"
    "f32 internally and always reconstructs f32 on decompress).";

inline constexpr char kDecompressSignalDoc[] =
    "decompress_signal(data)\n--\n\n"
    "Decompress a Tessarine bytes object into a 1-D float32 NumPy array.";

// METH_VARARGS | METH_KEYWORDS entry points. The interpreter lock is held throughout.
PyObject* compress_signal(PyObject* module, PyObject* args, PyObject* kwargs) noexcept;
PyObject* decompress_signal(PyObject* module, PyObject* args, PyObject* kwargs) noexcept;

}  // namespace tessarine::python
