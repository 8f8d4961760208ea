#include <string>
#include <vector>

#include "codec/byte_stream.hpp"
#include "tools_native/byte_input.hpp"
#include "tools_native/native_functions.hpp"
#include "tools_native/raise.hpp"

namespace tessarine::tools {

// These streams are not containers: their errors show the stream's own text, without the
// container's "Can't decompress data" prefix.
nb::bytes encode_byte_stream(nb::handle data) {
  const PinnedBytes pinned(data);
  auto stream = [&] {
    nb::gil_scoped_release unlocked;
    return tessarine::encode_byte_stream(pinned.bytes());
  }();
  if (!stream) raise_value_error(std::string(stream.error().text()));
  return nb::bytes(stream->data(), stream->size());
}

nb::bytes decode_byte_stream(nb::handle data) {
  const PinnedBytes pinned(data);
  auto bytes = [&] {
    nb::gil_scoped_release unlocked;
    return tessarine::decode_byte_stream(pinned.bytes());
  }();
  if (!bytes) raise_value_error(std::string(bytes.error().text()));
  return nb::bytes(bytes->data(), bytes->size());
}

}  // namespace tessarine::tools
