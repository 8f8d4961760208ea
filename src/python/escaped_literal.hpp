#pragma once

#include <string>
#include <string_view>

namespace tessarine::python {

// A rejected name as it appears in an error message: enclosed in double quotes, with `"` and
// `\` preceded by a backslash, tab, carriage return and line feed as \t \r \n, and every other
// non-printable character as \u{hex}, so that invisible or control characters can be seen.
// `utf8` is valid UTF-8 (it comes from a Python str).
[[nodiscard]] std::string escaped_literal(std::string_view utf8);

}  // namespace tessarine::python
