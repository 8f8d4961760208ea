#include "python/escaped_literal.hpp"

#include <Python.h>

#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>

namespace tessarine::python {
namespace {

struct CodePoint {
  char32_t value;
  std::size_t length;  // bytes it occupies in the text
};

// Decodes the code point that starts at `at`. A malformed or cut-short sequence (impossible
// for text from a Python str) yields U+FFFD over one byte, so nothing is read out of range.
CodePoint code_point_at(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  const std::size_t length = lead < 0x80    ? 1
                             : lead >= 0xF0 ? 4
                             : lead >= 0xE0 ? 3
                             : lead >= 0xC0 ? 2
                                            : 0;
  if (length == 0 || at + length > text.size()) return {U'\uFFFD', 1};
  char32_t value = length == 1 ? lead : lead & (0x7Fu >> length);
  for (std::size_t k = 1; k < length; ++k) {
    value = (value << 6) | (static_cast<unsigned char>(text[at + k]) & 0x3Fu);
  }
  return {value, length};
}

std::string hex_escape(char32_t value) {
  std::array<char, 8> digits{};
  const auto end = std::to_chars(digits.data(), digits.data() + digits.size(),
                                 static_cast<std::uint32_t>(value), 16)
                       .ptr;
  return "\\u{" + std::string(digits.data(), end) + "}";
}

}  // namespace

std::string escaped_literal(std::string_view utf8) {
  std::string quoted = "\"";
  for (std::size_t at = 0; at < utf8.size();) {
    const CodePoint point = code_point_at(utf8, at);
    switch (point.value) {
      case U'"':
        quoted += "\\\"";
        break;
      case U'\\':
        quoted += "\\\\";
        break;
      case U'\t':
        quoted += "\\t";
        break;
      case U'\r':
        quoted += "\\r";
        break;
      case U'\n':
        quoted += "\\n";
        break;
      default:
        if (Py_UNICODE_ISPRINTABLE(static_cast<Py_UCS4>(point.value))) {
          quoted += utf8.substr(at, point.length);
        } else {
          quoted += hex_escape(point.value);
        }
    }
    at += point.length;
  }
  quoted += '"';
  return quoted;
}

}  // namespace tessarine::python
