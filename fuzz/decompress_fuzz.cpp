// libFuzzer target: decompress must turn any byte string into either an error value or
// exactly the number of samples its header declares, without crashing, leaking or reading out
// of bounds. Build with clang++ -fsanitize=fuzzer,address,undefined and link tessarine_core.
#include <cstddef>
#include <cstdint>
#include <span>

#include "codec/decompressor.hpp"
#include "codec/header.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> container(data, size);
  const auto samples = tessarine::decompress(container);
  if (!samples) {
    // Rendering the message must be safe for every error as well.
    if (samples.error().display().empty()) __builtin_trap();
    return 0;
  }
  const auto header = tessarine::TessarineHeader::from_bytes(container);
  if (!header || samples->size() != header->sample_count) __builtin_trap();
  return 0;
}
