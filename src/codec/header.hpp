#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "codec/error.hpp"
#include "codec/options.hpp"
#include "codec/payload_coders.hpp"

namespace tessarine {

inline constexpr std::size_t kHeaderSize = 52;
inline constexpr std::array<std::uint8_t, 4> kMagic{'T', 'S', 'R', 'N'};
inline constexpr std::array<std::uint8_t, 2> kVersion{1, 1};
inline constexpr std::array<std::uint8_t, 2> kFormatTag{'f', '3'};

// The fixed 52-byte container header, field for field in file order; byte offsets, valid
// ranges and the error of each field are in docs/format.md (section 1). A plain value; bytes
// the parser does not interpret (version[1], reserved_byte, reserved) are kept as read.
struct TessarineHeader {
  std::array<std::uint8_t, 4> magic = kMagic;
  std::array<std::uint8_t, 2> version = kVersion;
  std::array<std::uint8_t, 2> format_tag = kFormatTag;
  MethodCode method = method_code(Method::Cdf97);
  std::uint8_t levels = 1;
  std::uint8_t scale = 11;
  std::uint8_t coder = coder_for_option(kAutoCoder)->header_byte;
  std::uint8_t reserved_byte = 0;
  std::uint32_t sample_count = 0;
  float min = 0.0f;
  float max = 0.0f;
  float mean = 0.0f;
  std::uint32_t payload_len = 0;
  std::array<std::uint8_t, 16> reserved{};

  // Parses the first 52 bytes of a container; later bytes are ignored. Checks run in file
  // order and the first failure is reported; after the three finite floats, a min/max pair
  // whose distance overflows is refused too. Allocates nothing.
  [[nodiscard]] static TessarineResult<TessarineHeader> from_bytes(
      std::span<const std::uint8_t> data);

  // Writes the 52-byte image; the only serialiser of a header.
  void write_to(std::span<std::uint8_t, kHeaderSize> out) const;
  [[nodiscard]] std::array<std::uint8_t, kHeaderSize> to_bytes() const;
};

}  // namespace tessarine
