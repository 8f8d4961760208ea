#pragma once

// Reads the recorded signals the benchmarks run on.

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace tessarine::bench {

// Minimal reader for one-dimensional little-endian float32 .npy files (format 1.x to 3.x).
inline std::optional<std::vector<float>> read_npy_f32(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (file.size() < 10 || file.compare(0, 6, "\x93NUMPY") != 0) return std::nullopt;
  const auto byte = [&](std::size_t i) {
    return static_cast<std::size_t>(static_cast<std::uint8_t>(file[i]));
  };
  const bool wide = byte(6) >= 2;
  const std::size_t header_len =
      wide ? byte(8) | byte(9) << 8 | byte(10) << 16 | byte(11) << 24 : byte(8) | byte(9) << 8;
  const std::size_t data_at = (wide ? 12 : 10) + header_len;
  if (data_at > file.size()) return std::nullopt;
  const std::string header = file.substr(wide ? 12 : 10, header_len);
  if (header.find("'<f4'") == std::string::npos ||
      header.find("'fortran_order': False") == std::string::npos) {
    return std::nullopt;
  }
  const std::size_t shape = header.find("'shape': (");
  if (shape == std::string::npos) return std::nullopt;
  const std::size_t n = std::stoull(header.substr(shape + 10));
  if (file.size() - data_at < 4 * n) return std::nullopt;
  std::vector<float> samples(n);
  std::memcpy(samples.data(), file.data() + data_at, 4 * n);
  return samples;
}

}  // namespace tessarine::bench
