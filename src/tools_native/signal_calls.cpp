#include <vector>

#include "codec/compressor.hpp"
#include "codec/reconstruct.hpp"
#include "tools_native/codec_options.hpp"
#include "tools_native/native_functions.hpp"
#include "tools_native/raise.hpp"
#include "tools_native/sample_array.hpp"
#include "tools_native/signal_input.hpp"

namespace tessarine::tools {

nb::bytes compress_array(nb::handle data, int method, int scale, int cutoff, int coder) {
  const CompressionOptions options = options_from_codes(method, scale, cutoff, coder);
  const SignalInput input = pin_signal(data);
  auto container = [&] {
    nb::gil_scoped_release unlocked;
    std::vector<float> storage;
    return compress(float_samples(input, storage), options);
  }();
  if (!container) raise_codec_error(container.error());
  return nb::bytes(container->data(), container->size());
}

nb::object reconstruct_array(nb::handle data, int method, int scale, int cutoff) {
  const CompressionOptions options =
      options_from_codes(method, scale, cutoff, static_cast<int>(Coder::Auto));
  const SignalInput input = pin_signal(data);
  auto samples = [&] {
    nb::gil_scoped_release unlocked;
    std::vector<float> storage;
    return reconstruct(float_samples(input, storage), options);
  }();
  if (!samples) raise_codec_error(samples.error());
  return float32_array_taking(std::move(*samples));
}

}  // namespace tessarine::tools
