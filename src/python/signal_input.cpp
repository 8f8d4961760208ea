#include "python/signal_input.hpp"

#include <algorithm>
#include <cstddef>
#include <limits>

#include "python/numpy_api.hpp"

namespace tessarine::python {
namespace {

// The conversion relies on IEEE rounding: nearest-even, overflow to infinity, NaN kept.
static_assert(std::numeric_limits<float>::is_iec559 && std::numeric_limits<double>::is_iec559);

// The one-dimensional native float32 or float64 array `data` is, or null.
PyArrayObject* as_float_vector(PyObject* data) {
  if (!PyArray_Check(data)) return nullptr;
  auto* array = reinterpret_cast<PyArrayObject*>(data);
  if (PyArray_NDIM(array) != 1 || !PyArray_ISNOTSWAPPED(array)) return nullptr;
  const int type = PyArray_TYPE(array);
  return type == NPY_FLOAT32 || type == NPY_FLOAT64 ? array : nullptr;
}

}  // namespace

std::optional<std::span<const float>> signal_samples(PyObject* data, std::vector<float>& storage) {
  PyArrayObject* array = as_float_vector(data);
  if (array == nullptr) {
    PyErr_SetString(PyExc_ValueError, "expected a 1-D float32 or float64 NumPy array");
    return std::nullopt;
  }
  const auto count = static_cast<std::size_t>(PyArray_SIZE(array));
  if (count == 0) return std::span<const float>{};
  if (!PyArray_IS_C_CONTIGUOUS(array) || !PyArray_ISALIGNED(array)) {
    PyErr_SetString(PyExc_TypeError, "The given array is not contiguous or is misaligned.");
    return std::nullopt;
  }
  if (PyArray_TYPE(array) == NPY_FLOAT32) {
    return std::span<const float>(static_cast<const float*>(PyArray_DATA(array)), count);
  }
  const std::span<const double> doubles(static_cast<const double*>(PyArray_DATA(array)), count);
  storage.resize(count);
  std::ranges::transform(doubles, storage.begin(),
                         [](double sample) { return static_cast<float>(sample); });
  return std::span<const float>(storage);
}

}  // namespace tessarine::python
