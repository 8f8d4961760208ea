#include "python/options_type.hpp"

#include <memory>
#include <optional>

#include "python/exception_barrier.hpp"
#include "python/options_arguments.hpp"
#include "python/py_ref.hpp"
#include "python/raise_error.hpp"

namespace tessarine::python {
namespace {

struct OptionsObject {
  PyObject_HEAD CompressionOptions options;  // set by the constructor, never changed
};

constexpr char kOptionsDoc[] =
    "TessrCompressionOptions(method=\"cdf97\", scale=11, cutoff=\"low\", coder=None)\n--\n\n";

// Process-wide, set once under the interpreter lock. The reference it holds is never given
// back: static destructors run after the interpreter is gone.
PyTypeObject* options_type = nullptr;

PyObject* options_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
  return call_guarded([&]() -> PyObject* {
    static const char* const kKeywords[] = {"method", "scale", "cutoff", "coder", nullptr};
    OptionsArguments arguments;
    if (!PyArg_ParseTupleAndKeywords(
            args, kwargs, "|O&O&O&O&:TessrCompressionOptions", const_cast<char**>(kKeywords),
            convert_method, &arguments.method, convert_scale, &arguments.scale, convert_cutoff,
            &arguments.cutoff, convert_coder, &arguments.coder)) {
      return nullptr;
    }
    const std::optional<CompressionOptions> options = validated_options(arguments);
    if (!options) return nullptr;
    PyRef self = PyRef::steal(type->tp_alloc(type, 0));
    if (!self) return nullptr;
    std::construct_at(&reinterpret_cast<OptionsObject*>(self.get())->options, *options);
    return self.release();
  });
}

void options_dealloc(PyObject* self) noexcept {
  // Instances of a heap type own a reference to it.
  const PyRef type = PyRef::steal(reinterpret_cast<PyObject*>(Py_TYPE(self)));
  Py_TYPE(self)->tp_free(self);
}

PyType_Slot options_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(options_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(options_dealloc)},
    {Py_tp_doc, const_cast<char*>(kOptionsDoc)},
    {0, nullptr},
};

// Immutable and final: the chosen options cannot be changed or read back from Python.
PyType_Spec options_spec = {
    "tessarine.TessrCompressionOptions",
    static_cast<int>(sizeof(OptionsObject)),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
    options_slots,
};

}  // namespace

PyObject* options_type_reference() noexcept {
  if (options_type == nullptr) {
    options_type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&options_spec));
    if (options_type == nullptr) return nullptr;
  }
  return PyRef::borrow(reinterpret_cast<PyObject*>(options_type)).release();
}

int convert_options(PyObject* given, void* options) noexcept {
  if (given == Py_None) return 1;
  if (options_type == nullptr || !PyObject_TypeCheck(given, options_type)) {
    raise_not_instance("options", given, "TessrCompressionOptions");
    return 0;
  }
  *static_cast<CompressionOptions*>(options) = reinterpret_cast<OptionsObject*>(given)->options;
  return 1;
}

}  // namespace tessarine::python
