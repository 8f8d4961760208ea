#include <algorithm>
#include <cstring>
#include <span>
#include <string>

#include "capi/boundary.hpp"
#include "capi/tessarine.h"
#include "codec/compressor.hpp"
#include "codec/decompressor.hpp"
#include "codec/header.hpp"

namespace tessarine::capi {
namespace {

std::optional<CompressionOptions> core_options(const tessarine_container_settings& settings) {
  const bool known = settings.method <= TESSARINE_SYM4 && settings.cutoff <= TESSARINE_CUTOFF_HIGH &&
                     settings.coder <= TESSARINE_CODER_AUTO && settings.scale >= kMinScale &&
                     settings.scale <= kMaxScale;
  if (!known) return std::nullopt;
  return CompressionOptions{static_cast<Method>(settings.method),
                            static_cast<std::uint8_t>(settings.scale),
                            static_cast<Cutoff>(settings.cutoff), static_cast<Coder>(settings.coder)};
}

// A failed decode says the bytes are not a readable container, unless memory ran out.
tessarine_status fail_decode(const TessarineError& error) {
  if (error.kind() == TessarineError::Kind::OutOfMemory) {
    return fail(TESSARINE_ERROR_OUT_OF_MEMORY, error.display());
  }
  return fail(TESSARINE_ERROR_DAMAGED, error.display());
}

std::span<const std::uint8_t> bytes_of(const void* data, std::size_t size) {
  return {static_cast<const std::uint8_t*>(data), size};
}

}  // namespace
}  // namespace tessarine::capi

using namespace tessarine;
using namespace tessarine::capi;

extern "C" {

tessarine_container_settings tessarine_container_defaults(void) {
  return {TESSARINE_CDF97, 11, TESSARINE_CUTOFF_LOW, TESSARINE_CODER_ARANS};
}

size_t tessarine_container_compress_bound(uint64_t count) {
  if (count > kMaxSampleCount) return 0;
  // 16-bit coefficients, a few more than samples at the borders of each level, and the
  // coders' worst case on incompressible bytes; tested on white noise at the finest scale.
  return static_cast<size_t>(kHeaderSize + 2 * count + count / 8 + 4096);
}

tessarine_status tessarine_container_compress(const float* samples, uint64_t count,
                                              const tessarine_container_settings* settings,
                                              void* dst, size_t capacity, size_t* written) {
  return guarded([&]() -> tessarine_status {
    if (!samples || !settings || !written) {
      return fail(TESSARINE_ERROR_ARGUMENT, "samples, settings and written must not be NULL");
    }
    const auto options = core_options(*settings);
    if (!options) {
      return fail(TESSARINE_ERROR_ARGUMENT,
                  "unknown method, cutoff or coder, or a scale outside 6 to 12");
    }
    if (count == 0 || count > kMaxSampleCount) {
      return fail(TESSARINE_ERROR_ARGUMENT, "a container holds 1 to 2147483647 samples");
    }
    auto container = compress({samples, static_cast<std::size_t>(count)}, *options);
    if (!container) {
      const bool memory = container.error().kind() == TessarineError::Kind::OutOfMemory;
      return fail(memory ? TESSARINE_ERROR_OUT_OF_MEMORY : TESSARINE_ERROR_ARGUMENT,
                  container.error().display());
    }
    *written = container->size();
    if (container->size() > capacity || !dst) {
      return fail(TESSARINE_ERROR_BUFFER_TOO_SMALL,
                  "the container needs " + std::to_string(container->size()) + " bytes");
    }
    std::memcpy(dst, container->data(), container->size());
    return succeed();
  });
}

tessarine_status tessarine_container_sample_count(const void* data, size_t size,
                                                  uint64_t* count) {
  return guarded([&]() -> tessarine_status {
    if (!data || !count) return fail(TESSARINE_ERROR_ARGUMENT, "container and count must not be NULL");
    const auto header = TessarineHeader::from_bytes(bytes_of(data, size));
    if (!header) return fail_decode(header.error());
    *count = header->sample_count;
    return succeed();
  });
}

tessarine_status tessarine_container_decompress(const void* data, size_t size, float* dst,
                                                uint64_t capacity, uint64_t* written) {
  return guarded([&]() -> tessarine_status {
    if (!data || !written) return fail(TESSARINE_ERROR_ARGUMENT, "container and written must not be NULL");
    const auto bytes = bytes_of(data, size);
    // The header alone says whether dst is large enough, before any decoding work.
    const auto header = TessarineHeader::from_bytes(bytes);
    if (!header) return fail_decode(header.error());
    *written = header->sample_count;
    if (header->sample_count > capacity || !dst) {
      return fail(TESSARINE_ERROR_BUFFER_TOO_SMALL,
                  "the container decodes to " + std::to_string(header->sample_count) + " samples");
    }
    auto samples = decompress(bytes);
    if (!samples) return fail_decode(samples.error());
    std::ranges::copy(*samples, dst);
    *written = samples->size();
    return succeed();
  });
}

}  // extern "C"
