#include <optional>
#include <span>
#include <vector>

#include "codec/compressor.hpp"
#include "python/exception_barrier.hpp"
#include "python/numpy_api.hpp"
#include "python/options_type.hpp"
#include "python/raise_error.hpp"
#include "python/signal_functions.hpp"
#include "python/signal_input.hpp"

namespace tessarine::python {

PyObject* compress_signal(PyObject* /*module*/, PyObject* args, PyObject* kwargs) noexcept {
  return call_guarded([&]() -> PyObject* {
    static const char* const kKeywords[] = {"data", "options", nullptr};
    PyObject* data = nullptr;  // borrowed from the call's arguments
    CompressionOptions options;
    // `options` is converted here, before `data` is looked at.
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|O&:compress_signal",
                                     const_cast<char**>(kKeywords), &data, convert_options,
                                     &options)) {
      return nullptr;
    }
    if (!ensure_numpy_api()) return nullptr;
    std::vector<float> converted;
    const std::optional<std::span<const float>> samples = signal_samples(data, converted);
    if (!samples) return nullptr;
    const TessarineResult<std::vector<std::uint8_t>> container = compress(*samples, options);
    if (!container) {
      raise_codec_error(container.error());
      return nullptr;
    }
    return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(container->data()),
                                     static_cast<Py_ssize_t>(container->size()));
  });
}

}  // namespace tessarine::python
