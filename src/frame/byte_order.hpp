#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

namespace tessarine::frame {

// Little-endian fields, whatever the host's order.
template <class T>
void put_le(std::vector<std::uint8_t>& out, T value) {
  std::uint8_t bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));
  if constexpr (std::endian::native == std::endian::big) std::reverse(bytes, bytes + sizeof(T));
  out.insert(out.end(), bytes, bytes + sizeof(T));
}

template <class T>
[[nodiscard]] T get_le(const std::uint8_t* at) {
  std::uint8_t bytes[sizeof(T)];
  std::memcpy(bytes, at, sizeof(T));
  if constexpr (std::endian::native == std::endian::big) std::reverse(bytes, bytes + sizeof(T));
  T value;
  std::memcpy(&value, bytes, sizeof(T));
  return value;
}

}  // namespace tessarine::frame
