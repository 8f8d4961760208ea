#include "python/options_arguments.hpp"

#include <string>

#include "codec/error.hpp"
#include "python/escaped_literal.hpp"
#include "python/raise_error.hpp"

namespace tessarine::python {
namespace {

int convert_name(PyObject* given, const char* argument, NameArgument& out) noexcept {
  if (!PyUnicode_Check(given)) {
    raise_not_instance(argument, given, "str");
    return 0;
  }
  Py_ssize_t size = 0;
  // A str that cannot be encoded (a lone surrogate) raises UnicodeEncodeError, unprefixed.
  const char* utf8 = PyUnicode_AsUTF8AndSize(given, &size);
  if (utf8 == nullptr) return 0;
  // The size matters: a name with an embedded NUL must not match the name before it.
  out = NameArgument{PyRef::borrow(given), std::string_view(utf8, static_cast<std::size_t>(size))};
  return 1;
}

void raise_unknown(const char* what, std::string_view name, const std::string& expected) {
  raise_value_error(std::string("Unknown ") + what + " " + escaped_literal(name) + ", expected " +
                    expected);
}

// "'auto', 'deflate', 'arans'": the option first, then every coder of the table.
std::string expected_coders() {
  std::string text = "'" + std::string(kAutoCoderName) + "'";
  for (const PayloadCoder& entry : kPayloadCoders) text += ", '" + std::string(entry.name) + "'";
  return text;
}

}  // namespace

int convert_method(PyObject* given, void* name_argument) noexcept {
  return convert_name(given, "method", *static_cast<NameArgument*>(name_argument));
}

int convert_cutoff(PyObject* given, void* name_argument) noexcept {
  return convert_name(given, "cutoff", *static_cast<NameArgument*>(name_argument));
}

int convert_coder(PyObject* given, void* optional_name_argument) noexcept {
  auto& coder = *static_cast<std::optional<NameArgument>*>(optional_name_argument);
  if (given == Py_None) {
    coder.reset();
    return 1;
  }
  return convert_name(given, "coder", coder.emplace());
}

int convert_scale(PyObject* given, void* scale) noexcept {
  const PyRef index = PyRef::steal(PyNumber_Index(given));
  if (!index) {
    prefix_type_error("scale");
    return 0;
  }
  // An int beyond the C long range keeps the interpreter's own OverflowError.
  const long value = PyLong_AsLong(index.get());
  if (value == -1 && PyErr_Occurred()) return 0;
  if (value < 0 || value > 255) {
    PyErr_SetString(PyExc_OverflowError, "out of range integral type conversion attempted");
    return 0;
  }
  *static_cast<std::uint8_t*>(scale) = static_cast<std::uint8_t>(value);
  return 1;
}

std::optional<CompressionOptions> validated_options(const OptionsArguments& arguments) {
  const std::optional<Method> method = method_from_name(arguments.method.text);
  if (!method) {
    raise_unknown("method", arguments.method.text, "'cdf97' or 'cdf53' or 'db4' or 'sym4'");
    return std::nullopt;
  }
  const std::optional<Cutoff> cutoff = cutoff_from_name(arguments.cutoff.text);
  if (!cutoff) {
    raise_unknown("cutoff level", arguments.cutoff.text, "'low' or 'medium' or 'high'");
    return std::nullopt;
  }
  if (arguments.scale < kMinScale || arguments.scale > kMaxScale) {
    raise_codec_error(TessarineError::unsupported_scale(arguments.scale));
    return std::nullopt;
  }
  std::optional<Coder> coder = Coder::Auto;
  if (arguments.coder) coder = coder_from_name(arguments.coder->text);
  if (!coder) {
    raise_unknown("coder", arguments.coder->text, expected_coders());
    return std::nullopt;
  }
  return CompressionOptions{*method, arguments.scale, *cutoff, *coder};
}

}  // namespace tessarine::python
