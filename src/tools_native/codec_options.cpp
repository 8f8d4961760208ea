#include "tools_native/codec_options.hpp"

#include <string>

#include "tools_native/raise.hpp"

namespace tessarine::tools {
namespace {

void check_range(const char* name, int value, int low, int high) {
  if (value < low || value > high) {
    raise_value_error(std::string(name) + " code must be " + std::to_string(low) + ".." +
                      std::to_string(high) + ", got " + std::to_string(value));
  }
}

}  // namespace

CompressionOptions options_from_codes(int method, int scale, int cutoff, int coder) {
  check_range("method", method, 0, 3);
  check_range("scale", scale, kMinScale, kMaxScale);
  check_range("cutoff", cutoff, 0, 2);
  check_range("coder", coder, 0, 2);
  return {static_cast<Method>(method), static_cast<std::uint8_t>(scale),
          static_cast<Cutoff>(cutoff), static_cast<Coder>(coder)};
}

}  // namespace tessarine::tools
