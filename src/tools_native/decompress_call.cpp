#include <algorithm>
#include <string>
#include <vector>

#include "codec/decompressor.hpp"
#include "codec/header.hpp"
#include "tools_native/byte_input.hpp"
#include "tools_native/native_functions.hpp"
#include "tools_native/raise.hpp"
#include "tools_native/sample_array.hpp"

namespace tessarine::tools {
namespace {

// `out` as a writable contiguous float32 vector; never a converted copy, which would leave
// the caller's array untouched.
OutputArray output_target(nb::handle out) {
  OutputArray target;
  if (!nb::try_cast(out, target, false)) {
    raise_type_error("out must be a 1-D C-contiguous writable float32 array");
  }
  return target;
}

// Refuses a wrong-sized `out` from the header alone, before any decoding work. A container
// whose header does not parse is left to the decoder, which reports it.
void check_length(std::span<const std::uint8_t> container, const OutputArray& target) {
  const auto header = TessarineHeader::from_bytes(container);
  if (header && header->sample_count != target.shape(0)) {
    raise_value_error("out has " + std::to_string(target.shape(0)) +
                      " samples, but the data decodes to " +
                      std::to_string(header->sample_count));
  }
}

}  // namespace

nb::object decompress_bytes(nb::handle data, nb::handle out) {
  const PinnedBytes pinned(data);
  const bool into_out = !out.is_none();
  OutputArray target;
  if (into_out) {
    target = output_target(out);
    check_length(pinned.bytes(), target);
  }
  auto samples = [&] {
    nb::gil_scoped_release unlocked;
    return decompress(pinned.bytes());
  }();
  if (!samples) raise_codec_error(samples.error());
  if (!into_out) return float32_array_taking(std::move(*samples));
  // Never write past `out`, whatever the header said when it was checked.
  if (samples->size() != target.shape(0)) {
    raise_value_error("out has " + std::to_string(target.shape(0)) +
                      " samples, but the data decodes to " + std::to_string(samples->size()));
  }
  {
    nb::gil_scoped_release unlocked;
    std::ranges::copy(*samples, target.data());
  }
  return nb::borrow(out);
}

}  // namespace tessarine::tools
