#include "tools_native/codec_options.hpp"

#include <string>
#include <string_view>
#include <vector>

#include "tools_native/raise.hpp"

namespace nb = nanobind;

namespace tessarine::tools {
namespace {

void check_range(const char* name, int value, int low, int high) {
  if (value < low || value > high) {
    raise_value_error(std::string(name) + " code must be " + std::to_string(low) + ".." +
                      std::to_string(high) + ", got " + std::to_string(value));
  }
}

// The codes of a name table run from 0 to its last index.
int last_code(const std::vector<std::string_view>& names) {
  return static_cast<int>(names.size()) - 1;
}

nb::tuple as_tuple(const std::vector<std::string_view>& names) {
  nb::list items;
  for (const std::string_view name : names) items.append(nb::str(name.data(), name.size()));
  return nb::tuple(items);
}

}  // namespace

CompressionOptions options_from_codes(int method, int scale, int cutoff, int coder) {
  check_range("method", method, 0, last_code(method_names()));
  check_range("scale", scale, kMinScale, kMaxScale);
  check_range("cutoff", cutoff, 0, last_code(cutoff_names()));
  check_range("coder", coder, 0, last_code(coder_names()));
  return {static_cast<Method>(method), static_cast<std::uint8_t>(scale),
          static_cast<Cutoff>(cutoff), static_cast<Coder>(coder)};
}

void add_setting_names(nb::module_& module) {
  module.attr("METHODS") = as_tuple(method_names());
  module.attr("CUTOFFS") = as_tuple(cutoff_names());
  module.attr("CODERS") = as_tuple(coder_names());
  module.attr("MIN_SCALE") = kMinScale;
  module.attr("MAX_SCALE") = kMaxScale;
}

}  // namespace tessarine::tools
