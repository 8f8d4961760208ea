#pragma once

#include <Python.h>

#include <cstdint>
#include <optional>
#include <string_view>

#include "codec/options.hpp"
#include "python/py_ref.hpp"

namespace tessarine::python {

// A str argument as UTF-8. The reference keeps the str, and so the text, alive.
struct NameArgument {
  PyRef object;
  std::string_view text;
};

// The options constructor's arguments after conversion and before validation. An absent
// argument keeps the default of CompressionOptions.
struct OptionsArguments {
  NameArgument method{{}, method_name(CompressionOptions{}.method)};
  std::uint8_t scale = CompressionOptions{}.scale;
  NameArgument cutoff{{}, cutoff_name(CompressionOptions{}.cutoff)};
  std::optional<NameArgument> coder;  // absent or None: "auto"
};

// "O&" converters: each returns 1, or 0 with the exception set.
int convert_method(PyObject* given, void* name_argument) noexcept;
int convert_cutoff(PyObject* given, void* name_argument) noexcept;
int convert_coder(PyObject* given, void* optional_name_argument) noexcept;
// Any object the interpreter accepts as an index, with a value in 0..255.
int convert_scale(PyObject* given, void* scale) noexcept;

// Checks method, cutoff, scale and coder, in that order. On the first failure: nullopt with
// ValueError set.
[[nodiscard]] std::optional<CompressionOptions> validated_options(
    const OptionsArguments& arguments);

}  // namespace tessarine::python
