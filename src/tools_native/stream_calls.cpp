#include <string>
#include <vector>

#include "entropy/arans.hpp"
#include "tools_native/byte_input.hpp"
#include "tools_native/native_functions.hpp"
#include "tools_native/raise.hpp"

namespace tessarine::tools {

nb::bytes encode_byte_stream(nb::handle data) {
  const PinnedBytes pinned(data);
  // Longer inputs would make a stream its own decoder refuses.
  if (pinned.bytes().size() > arans::kMaxStreamInputBytes) {
    raise_value_error("Can't encode more than " + std::to_string(arans::kMaxStreamInputBytes) +
                      " bytes, but data was " + std::to_string(pinned.bytes().size()));
  }
  auto stream = [&] {
    nb::gil_scoped_release unlocked;
    return arans::encode_stream(pinned.bytes());
  }();
  return nb::bytes(stream.data(), stream.size());
}

nb::bytes decode_byte_stream(nb::handle data) {
  const PinnedBytes pinned(data);
  auto bytes = [&] {
    nb::gil_scoped_release unlocked;
    return arans::decode_stream(pinned.bytes());
  }();
  if (!bytes) raise_value_error(bytes.error().display());
  return nb::bytes(bytes->data(), bytes->size());
}

}  // namespace tessarine::tools
