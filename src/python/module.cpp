#include <Python.h>

#include "python/options_type.hpp"
#include "python/py_ref.hpp"
#include "python/signal_functions.hpp"

namespace tessarine::python {
namespace {

PyMethodDef module_functions[] = {
    {"compress_signal",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(compress_signal)),
     METH_VARARGS | METH_KEYWORDS, kCompressSignalDoc},
    {"decompress_signal",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(decompress_signal)),
     METH_VARARGS | METH_KEYWORDS, kDecompressSignalDoc},
    {nullptr, nullptr, 0, nullptr},
};

// Adds the module's three public names, in this order. A failure fails the import.
int exec_module(PyObject* module) noexcept {
  PyRef options_type = PyRef::steal(options_type_reference());
  if (!options_type) return -1;
  if (PyModule_AddObjectRef(module, "TessrCompressionOptions", options_type.get()) != 0) {
    return -1;
  }
  return PyModule_AddFunctions(module, module_functions);
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
#if PY_VERSION_HEX >= 0x030C0000
    // The options class and the NumPy table are process-wide, not per interpreter.
    {Py_mod_multiple_interpreters, Py_MOD_MULTIPLE_INTERPRETERS_NOT_SUPPORTED},
#endif
    {0, nullptr},
};

// No per-module state: everything shared is set once for the process.
PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT, "tessarine", "", 0, nullptr, module_slots, nullptr, nullptr, nullptr,
};

}  // namespace
}  // namespace tessarine::python

PyMODINIT_FUNC PyInit_tessarine() {
  return PyModuleDef_Init(&tessarine::python::module_definition);
}
