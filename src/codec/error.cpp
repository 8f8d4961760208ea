#include "codec/error.hpp"

#include <utility>

#include "codec/utf8.hpp"

namespace tessarine {
namespace {

// Valid UTF-8 is shown verbatim (control characters included); anything else becomes one
// '?' per byte, so the reader still sees how many bytes were there.
std::string bytes_as_text(std::span<const std::uint8_t> bytes) {
  if (!is_valid_utf8(bytes)) return std::string(bytes.size(), '?');
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace

TessarineError TessarineError::invalid_method(FourBytes code) {
  return {Kind::InvalidMethod, code};
}
TessarineError TessarineError::invalid_magic(FourBytes magic) {
  return {Kind::InvalidMagic, magic};
}
TessarineError TessarineError::invalid_format_tag(TwoBytes tag) {
  return {Kind::InvalidFormatTag, tag};
}
TessarineError TessarineError::invalid_version(TwoBytes version) {
  return {Kind::InvalidVersion, version};
}
TessarineError TessarineError::transform(std::string text) {
  return {Kind::Transform, std::move(text)};
}
TessarineError TessarineError::io(std::string text) { return {Kind::Io, std::move(text)}; }
TessarineError TessarineError::out_of_memory(std::size_t count) {
  return {Kind::OutOfMemory, count};
}
TessarineError TessarineError::invalid_header() { return {Kind::InvalidHeader, {}}; }
TessarineError TessarineError::unsupported_configuration(std::string text) {
  return {Kind::UnsupportedConfiguration, std::move(text)};
}
TessarineError TessarineError::decompression(std::string text) {
  return {Kind::Decompression, std::move(text)};
}
TessarineError TessarineError::unsupported_scale(std::uint8_t scale) {
  return {Kind::UnsupportedScale, std::size_t{scale}};
}
TessarineError TessarineError::unknown_coder(std::uint8_t coder) {
  return {Kind::UnknownCoder, std::size_t{coder}};
}

std::span<const std::uint8_t> TessarineError::bytes() const {
  if (const auto* four = std::get_if<FourBytes>(&payload_)) return *four;
  if (const auto* two = std::get_if<TwoBytes>(&payload_)) return *two;
  return {};
}

std::string_view TessarineError::text() const {
  if (const auto* text = std::get_if<std::string>(&payload_)) return *text;
  return {};
}

std::size_t TessarineError::number() const {
  if (const auto* number = std::get_if<std::size_t>(&payload_)) return *number;
  return 0;
}

std::string TessarineError::display() const {
  switch (kind_) {
    case Kind::InvalidMethod:
    case Kind::InvalidFormatTag:
      return "Invalid compression method '" + bytes_as_text(bytes()) + "'";
    case Kind::InvalidMagic:
      return "Magic should be 'TSRN' but it was '" + bytes_as_text(bytes()) + "'";
    case Kind::InvalidVersion:
      return "Invalid header version '" + bytes_as_text(bytes()) + "'";
    case Kind::Transform:
    case Kind::Io:
      return std::string(text());
    case Kind::OutOfMemory:
      return "Out of memory, can't allocate additional " + std::to_string(number());
    case Kind::InvalidHeader:
      return "Header is invalid";
    case Kind::UnsupportedConfiguration:
      return "Unsupported compression configuration '" + std::string(text()) + "'";
    case Kind::Decompression:
      return "Can't decompress data, reason: " + std::string(text());
    case Kind::UnsupportedScale:
      return "Only scaled 6..12 is supported, but it was " + std::to_string(number());
    case Kind::UnknownCoder:
      return "Unknown entropy coder " + std::to_string(number());
  }
  return {};
}

}  // namespace tessarine
