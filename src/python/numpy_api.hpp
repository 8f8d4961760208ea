#pragma once

// Every file of the module that touches NumPy includes this header instead of NumPy's own.
// NumPy's C API is a table of function pointers fetched at run time; all files share one table
// under a module-unique symbol, which numpy_api.cpp alone defines (TESSARINE_OWNS_NUMPY_API).
// The table is fetched on first use, so importing tessarine does not import NumPy.
#define PY_ARRAY_UNIQUE_SYMBOL tessarine_numpy_api_table
#ifndef TESSARINE_OWNS_NUMPY_API
#define NO_IMPORT_ARRAY
#endif

#include <Python.h>
#include <numpy/arrayobject.h>

namespace tessarine::python {

// Imports NumPy and fetches its C API table once. False, with the import error set, when
// NumPy is missing or incompatible.
[[nodiscard]] bool ensure_numpy_api() noexcept;

}  // namespace tessarine::python
