#pragma once

#include <Python.h>

#include <new>
#include <stdexcept>

namespace tessarine::python {

// Runs the body of an entry point. A C++ exception must never unwind into the interpreter's
// C frames: a failed allocation becomes MemoryError, anything else SystemError. Objects the
// body owned are released by their PyRef destructors while the exception unwinds, so nothing
// leaks and no result is returned.
template <class Body>
[[nodiscard]] PyObject* call_guarded(Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  } catch (const std::length_error&) {
    return PyErr_NoMemory();
  } catch (...) {
    PyErr_SetString(PyExc_SystemError, "unexpected C++ exception inside tessarine");
    return nullptr;
  }
}

}  // namespace tessarine::python
