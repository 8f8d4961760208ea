#include "tools_native/signal_input.hpp"

#include <string>

#include "tools_native/raise.hpp"

namespace tessarine::tools {
namespace {

using nb::dlpack::dtype_code;

bool is_real(nb::dlpack::dtype dtype, bool half_allowed) {
  if (dtype.lanes != 1) return false;
  const bool integer_width =
      dtype.bits == 8 || dtype.bits == 16 || dtype.bits == 32 || dtype.bits == 64;
  switch (static_cast<dtype_code>(dtype.code)) {
    case dtype_code::Int:
    case dtype_code::UInt:
      return integer_width;
    case dtype_code::Float:
      return dtype.bits == 32 || dtype.bits == 64 || (half_allowed && dtype.bits == 16);
    default:
      return false;
  }
}

template <class T>
void convert(const SignalInput& input, std::span<float> out) {
  const T* data = static_cast<const T*>(input.data);
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<float>(data[static_cast<std::int64_t>(i) * input.stride]);
  }
}

template <class Signed, class Unsigned>
void convert_integer(const SignalInput& input, std::span<float> out) {
  if (input.dtype.code == static_cast<std::uint8_t>(dtype_code::Int)) {
    convert<Signed>(input, out);
  } else {
    convert<Unsigned>(input, out);
  }
}

void convert_any(const SignalInput& input, std::span<float> out) {
  const bool is_float = input.dtype.code == static_cast<std::uint8_t>(dtype_code::Float);
  switch (input.dtype.bits) {
    case 8:
      return convert_integer<std::int8_t, std::uint8_t>(input, out);
    case 16:
      return convert_integer<std::int16_t, std::uint16_t>(input, out);
    case 32:
      return is_float ? convert<float>(input, out)
                      : convert_integer<std::int32_t, std::uint32_t>(input, out);
    default:
      return is_float ? convert<double>(input, out)
                      : convert_integer<std::int64_t, std::uint64_t>(input, out);
  }
}

// "numpy.ndarray of dtype object", or the type name for things without a dtype.
std::string describe(nb::handle data) {
  std::string text = nb::type_name(data.type()).c_str();
  if (nb::hasattr(data, "dtype")) {
    const nb::object dtype_text = nb::steal(PyObject_Str(data.attr("dtype").ptr()));
    if (!dtype_text.is_valid()) throw nb::python_error();
    const char* utf8 = PyUnicode_AsUTF8(dtype_text.ptr());
    if (utf8 == nullptr) throw nb::python_error();
    text += " of dtype " + std::string(utf8);
  }
  return text;
}

}  // namespace

SignalInput pin_signal(nb::handle data, bool half_allowed) {
  SignalInput input;
  if (!nb::try_cast(data, input.array, false)) {
    raise_type_error(
        "expected a 1-D array of float32, float64 or integers in native byte order, got " +
        describe(data));
  }
  if (input.array.ndim() != 1) {
    raise_value_error("expected a 1-D array, got " + std::to_string(input.array.ndim()) +
                      " dimensions");
  }
  input.dtype = input.array.dtype();
  if (!is_real(input.dtype, half_allowed)) {
    raise_type_error("expected an array of float32, float64 or integers, got " + describe(data));
  }
  input.data = input.array.data();
  input.length = input.array.shape(0);
  input.stride = input.array.stride(0);
  return input;
}

std::span<const float> float_samples(const SignalInput& input, std::vector<float>& storage) {
  const bool is_float32 = input.dtype == nb::dtype<float>();
  if (is_float32 && (input.stride == 1 || input.length <= 1)) {
    return {static_cast<const float*>(input.data), input.length};
  }
  storage.resize(input.length);
  convert_any(input, storage);
  return storage;
}

}  // namespace tessarine::tools
