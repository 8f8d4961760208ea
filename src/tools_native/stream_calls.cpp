#include <span>
#include <string>

#include "codec/byte_stream.hpp"
#include "tools_native/byte_input.hpp"
#include "tools_native/native_functions.hpp"
#include "tools_native/raise.hpp"

namespace tessarine::tools {
namespace {

// Runs one direction of the byte stream on the pinned bytes with the lock released. These
// streams are not containers: errors show the stream's own text, without the container's
// "Can't decompress data" prefix.
template <class Code>
nb::bytes coded(nb::handle data, Code code) {
  const PinnedBytes pinned(data);
  auto out = [&] {
    nb::gil_scoped_release unlocked;
    return code(pinned.bytes());
  }();
  if (!out) raise_value_error(std::string(out.error().text()));
  return nb::bytes(out->data(), out->size());
}

}  // namespace

nb::bytes encode_byte_stream(nb::handle data) {
  return coded(data, [](std::span<const std::uint8_t> bytes) {
    return tessarine::encode_byte_stream(bytes);
  });
}

nb::bytes decode_byte_stream(nb::handle data) {
  return coded(data, [](std::span<const std::uint8_t> bytes) {
    return tessarine::decode_byte_stream(bytes);
  });
}

}  // namespace tessarine::tools
