#pragma once

#include <Python.h>

#include <string_view>

#include "codec/error.hpp"

namespace tessarine::python {

// Each function sets the pending Python exception; the caller then returns its failure value.

// ValueError with a UTF-8 text that may hold NUL characters (header bytes are shown
// verbatim), so it is never cut at the first NUL.
void raise_value_error(std::string_view text) noexcept;

// The one translation of codec failures: ValueError with the error's display text.
void raise_codec_error(const TessarineError& error);

// TypeError "argument '<argument>': '<type>' object is not an instance of '<expected>'", or
// "... 'None' is not an instance of '<expected>'" when `given` is None.
void raise_not_instance(const char* argument, PyObject* given, const char* expected) noexcept;

// Puts "argument '<argument>': " in front of a pending TypeError's message. Any other pending
// exception passes through unchanged.
void prefix_type_error(const char* argument) noexcept;

}  // namespace tessarine::python
