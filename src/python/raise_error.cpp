#include "python/raise_error.hpp"

#include "python/py_ref.hpp"

namespace tessarine::python {
namespace {

// Clears the pending exception and returns its (normalised) value.
PyRef take_pending_exception() noexcept {
#if PY_VERSION_HEX >= 0x030C0000
  return PyRef::steal(PyErr_GetRaisedException());
#else
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  const PyRef owned_type = PyRef::steal(type);
  const PyRef owned_traceback = PyRef::steal(traceback);
  return PyRef::steal(value);
#endif
}

}  // namespace

void raise_value_error(std::string_view text) noexcept {
  const PyRef message = PyRef::steal(
      PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace"));
  if (message) PyErr_SetObject(PyExc_ValueError, message.get());
}

void raise_codec_error(const TessarineError& error) {
  raise_value_error(error.display());
}

void raise_not_instance(const char* argument, PyObject* given, const char* expected) noexcept {
  if (given == Py_None) {
    PyErr_Format(PyExc_TypeError, "argument '%s': 'None' is not an instance of '%s'", argument,
                 expected);
    return;
  }
  PyErr_Format(PyExc_TypeError, "argument '%s': '%s' object is not an instance of '%s'", argument,
               Py_TYPE(given)->tp_name, expected);
}

void prefix_type_error(const char* argument) noexcept {
  if (!PyErr_ExceptionMatches(PyExc_TypeError)) return;
  const PyRef raised = take_pending_exception();
  const PyRef text = PyRef::steal(PyObject_Str(raised.get()));
  if (!text) return;  // str() failed and its error is now the pending one
  PyErr_Format(PyExc_TypeError, "argument '%s': %U", argument, text.get());
}

}  // namespace tessarine::python
