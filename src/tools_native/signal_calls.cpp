#include <span>
#include <utility>
#include <vector>

#include "codec/compressor.hpp"
#include "codec/reconstruct.hpp"
#include "tools_native/codec_options.hpp"
#include "tools_native/native_functions.hpp"
#include "tools_native/raise.hpp"
#include "tools_native/sample_array.hpp"
#include "tools_native/signal_input.hpp"

namespace tessarine::tools {

namespace {

// Runs `code` on the pinned samples as float32 with the lock released; a codec error raises.
// The options are checked before this, so a bad code is reported before a bad array.
template <class Code>
auto on_samples_unlocked(nb::handle data, Code code) {
  const SignalInput input = pin_signal(data);
  auto result = [&] {
    nb::gil_scoped_release unlocked;
    std::vector<float> storage;
    return code(float_samples(input, storage));
  }();
  if (!result) raise_codec_error(result.error());
  return std::move(*result);
}

}  // namespace

nb::bytes compress_array(nb::handle data, int method, int scale, int cutoff, int coder) {
  const CompressionOptions options = options_from_codes(method, scale, cutoff, coder);
  const std::vector<std::uint8_t> container =
      on_samples_unlocked(data, [&](std::span<const float> x) { return compress(x, options); });
  return nb::bytes(container.data(), container.size());
}

nb::object reconstruct_array(nb::handle data, int method, int scale, int cutoff) {
  const CompressionOptions options =
      options_from_codes(method, scale, cutoff, static_cast<int>(Coder::Auto));
  return float32_array_taking(on_samples_unlocked(
      data, [&](std::span<const float> x) { return reconstruct(x, options); }));
}

}  // namespace tessarine::tools
