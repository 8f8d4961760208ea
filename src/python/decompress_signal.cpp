#include <cstdint>
#include <span>
#include <vector>

#include "codec/decompressor.hpp"
#include "python/exception_barrier.hpp"
#include "python/numpy_api.hpp"
#include "python/raise_error.hpp"
#include "python/signal_functions.hpp"
#include "python/signal_output.hpp"

namespace tessarine::python {
namespace {

// "O&" converter: a bytes object (or subclass) only; bytearray and memoryview are refused.
int convert_bytes(PyObject* given, void* bytes) noexcept {
  if (!PyBytes_Check(given)) {
    raise_not_instance("data", given, "bytes");
    return 0;
  }
  *static_cast<std::span<const std::uint8_t>*>(bytes) =
      std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(PyBytes_AS_STRING(given)),
                                    static_cast<std::size_t>(PyBytes_GET_SIZE(given)));
  return 1;
}

}  // namespace

PyObject* decompress_signal(PyObject* /*module*/, PyObject* args, PyObject* kwargs) noexcept {
  return call_guarded([&]() -> PyObject* {
    static const char* const kKeywords[] = {"data", nullptr};
    // Borrows the bytes object's buffer; the call's arguments keep it alive and bytes are
    // immutable.
    std::span<const std::uint8_t> container;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O&:decompress_signal",
                                     const_cast<char**>(kKeywords), convert_bytes, &container)) {
      return nullptr;
    }
    if (!ensure_numpy_api()) return nullptr;
    TessarineResult<std::vector<float>> samples = decompress(container);
    if (!samples) {
      raise_codec_error(samples.error());
      return nullptr;
    }
    return float32_array_taking(std::move(*samples));
  });
}

}  // namespace tessarine::python
