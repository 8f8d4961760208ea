#include "codec/header.hpp"

#include <algorithm>
#include <bit>

namespace tessarine {
namespace {

// Byte offsets of the fields in the file.
constexpr std::size_t kMagicAt = 0;
constexpr std::size_t kVersionAt = 4;
constexpr std::size_t kFormatTagAt = 6;
constexpr std::size_t kMethodAt = 8;
constexpr std::size_t kLevelsAt = 12;
constexpr std::size_t kScaleAt = 13;
constexpr std::size_t kCoderAt = 14;
constexpr std::size_t kReservedByteAt = 15;
constexpr std::size_t kSampleCountAt = 16;
constexpr std::size_t kMinAt = 20;
constexpr std::size_t kMaxAt = 24;
constexpr std::size_t kMeanAt = 28;
constexpr std::size_t kPayloadLenAt = 32;
constexpr std::size_t kReservedAt = 36;

template <std::size_t N>
std::array<std::uint8_t, N> read_bytes(std::span<const std::uint8_t> data, std::size_t at) {
  std::array<std::uint8_t, N> out{};
  std::copy_n(data.begin() + at, N, out.begin());
  return out;
}

std::uint32_t read_u32(std::span<const std::uint8_t> data, std::size_t at) {
  return std::uint32_t{data[at]} | std::uint32_t{data[at + 1]} << 8 |
         std::uint32_t{data[at + 2]} << 16 | std::uint32_t{data[at + 3]} << 24;
}

void write_u32(std::span<std::uint8_t> out, std::size_t at, std::uint32_t value) {
  for (std::size_t k = 0; k < 4; ++k) out[at + k] = static_cast<std::uint8_t>(value >> (8 * k));
}

template <std::size_t N>
void write_bytes(std::span<std::uint8_t> out, std::size_t at,
                 const std::array<std::uint8_t, N>& bytes) {
  std::copy_n(bytes.begin(), N, out.begin() + at);
}

// Infinity or NaN: every exponent bit set, whatever the sign.
bool is_finite_bits(std::uint32_t bits) {
  return (bits & 0x7FFFFFFFu) < 0x7F800000u;
}

}  // namespace

TessarineResult<TessarineHeader> TessarineHeader::from_bytes(std::span<const std::uint8_t> data) {
  if (data.size() < kHeaderSize) return std::unexpected(TessarineError::invalid_header());
  TessarineHeader h;
  h.magic = read_bytes<4>(data, kMagicAt);
  if (h.magic != kMagic) return std::unexpected(TessarineError::invalid_magic(h.magic));
  h.version = read_bytes<2>(data, kVersionAt);
  if (h.version[0] != kVersion[0]) {
    return std::unexpected(TessarineError::invalid_version(h.version));
  }
  h.format_tag = read_bytes<2>(data, kFormatTagAt);
  if (h.format_tag != kFormatTag) {
    return std::unexpected(TessarineError::invalid_format_tag(h.format_tag));
  }
  h.method = read_bytes<4>(data, kMethodAt);
  if (!method_from_code(h.method)) return std::unexpected(TessarineError::invalid_method(h.method));
  h.scale = data[kScaleAt];
  if (h.scale < kMinScale || h.scale > kMaxScale) {
    return std::unexpected(TessarineError::unsupported_scale(h.scale));
  }
  h.coder = data[kCoderAt];
  if (!coder_for_header_byte(h.coder)) return std::unexpected(TessarineError::unknown_coder(h.coder));
  for (const std::size_t at : {kMinAt, kMaxAt, kMeanAt}) {
    if (!is_finite_bits(read_u32(data, at))) {
      return std::unexpected(TessarineError::invalid_header());
    }
  }
  // Each bound may be finite while their distance is not; every sample would then decode to
  // an infinity, and no encoder of ours writes such a range.
  const float lowest = std::bit_cast<float>(read_u32(data, kMinAt));
  const float highest = std::bit_cast<float>(read_u32(data, kMaxAt));
  if (!is_finite_bits(std::bit_cast<std::uint32_t>(highest - lowest))) {
    return std::unexpected(TessarineError::invalid_header());
  }
  h.levels = data[kLevelsAt];
  h.reserved_byte = data[kReservedByteAt];
  h.sample_count = read_u32(data, kSampleCountAt);
  h.min = std::bit_cast<float>(read_u32(data, kMinAt));
  h.max = std::bit_cast<float>(read_u32(data, kMaxAt));
  h.mean = std::bit_cast<float>(read_u32(data, kMeanAt));
  h.payload_len = read_u32(data, kPayloadLenAt);
  h.reserved = read_bytes<16>(data, kReservedAt);
  return h;
}

void TessarineHeader::write_to(std::span<std::uint8_t, kHeaderSize> out) const {
  write_bytes(out, kMagicAt, magic);
  write_bytes(out, kVersionAt, version);
  write_bytes(out, kFormatTagAt, format_tag);
  write_bytes(out, kMethodAt, method);
  out[kLevelsAt] = levels;
  out[kScaleAt] = scale;
  out[kCoderAt] = coder;
  out[kReservedByteAt] = reserved_byte;
  write_u32(out, kSampleCountAt, sample_count);
  write_u32(out, kMinAt, std::bit_cast<std::uint32_t>(min));
  write_u32(out, kMaxAt, std::bit_cast<std::uint32_t>(max));
  write_u32(out, kMeanAt, std::bit_cast<std::uint32_t>(mean));
  write_u32(out, kPayloadLenAt, payload_len);
  write_bytes(out, kReservedAt, reserved);
}

std::array<std::uint8_t, kHeaderSize> TessarineHeader::to_bytes() const {
  std::array<std::uint8_t, kHeaderSize> out{};
  write_to(out);
  return out;
}

}  // namespace tessarine
