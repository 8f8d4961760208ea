#include "python/signal_output.hpp"

#include <memory>

#include "python/numpy_api.hpp"
#include "python/py_ref.hpp"

namespace tessarine::python {
namespace {

using Samples = std::vector<float>;

constexpr char kCapsuleName[] = "tessarine.samples";

void free_samples(PyObject* capsule) noexcept {
  const std::unique_ptr<Samples> owned(
      static_cast<Samples*>(PyCapsule_GetPointer(capsule, kCapsuleName)));
}

}  // namespace

PyObject* float32_array_taking(std::vector<float>&& samples) {
  auto owned = std::make_unique<Samples>(std::move(samples));
  PyRef capsule = PyRef::steal(PyCapsule_New(owned.get(), kCapsuleName, free_samples));
  if (!capsule) return nullptr;
  Samples& kept = *owned.release();  // the capsule owns it from here on
  npy_intp length = static_cast<npy_intp>(kept.size());
  // For no samples data() may be null; NumPy then allocates its own empty buffer.
  PyRef array = PyRef::steal(PyArray_SimpleNewFromData(1, &length, NPY_FLOAT32, kept.data()));
  if (!array) return nullptr;
  // Steals the capsule's reference even when it fails.
  if (PyArray_SetBaseObject(reinterpret_cast<PyArrayObject*>(array.get()), capsule.release()) !=
      0) {
    return nullptr;
  }
  return array.release();
}

}  // namespace tessarine::python
