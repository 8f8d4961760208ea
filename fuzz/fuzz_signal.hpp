#pragma once

// Turns fuzz input into compression options and a signal: the first four bytes pick the
// method, scale, cutoff and coder, the rest are the samples' raw float32 bits.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "codec/options.hpp"

namespace tessarine::fuzz {

inline constexpr std::size_t kOptionBytes = 4;
// Long enough for eight levels; longer inputs only slow the fuzzer down.
inline constexpr std::size_t kMaxSamples = 4096;

[[nodiscard]] inline CompressionOptions options_from(std::span<const std::uint8_t> in) {
  return {static_cast<Method>(in[0] % 4), static_cast<std::uint8_t>(kMinScale + in[1] % 7),
          static_cast<Cutoff>(in[2] % 3), static_cast<Coder>(in[3] % 3)};
}

[[nodiscard]] inline std::vector<float> samples_from(std::span<const std::uint8_t> bytes) {
  std::vector<float> samples(std::min(bytes.size() / sizeof(float), kMaxSamples));
  if (!samples.empty()) std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(float));
  return samples;
}

}  // namespace tessarine::fuzz
