#include "codec/error.hpp"

#include <algorithm>
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

TessarineError TessarineError::with_bytes(Kind kind, std::span<const std::uint8_t> bytes) {
  TessarineError error(kind);
  std::copy(bytes.begin(), bytes.end(), error.bytes_.begin());
  error.byte_count_ = bytes.size();
  return error;
}

TessarineError TessarineError::with_text(Kind kind, std::string text) {
  TessarineError error(kind);
  error.text_ = std::move(text);
  return error;
}

TessarineError TessarineError::with_number(Kind kind, std::size_t number) {
  TessarineError error(kind);
  error.number_ = number;
  return error;
}

TessarineError TessarineError::invalid_method(FourBytes code) {
  return with_bytes(Kind::InvalidMethod, code);
}
TessarineError TessarineError::invalid_magic(FourBytes magic) {
  return with_bytes(Kind::InvalidMagic, magic);
}
TessarineError TessarineError::invalid_format_tag(TwoBytes tag) {
  return with_bytes(Kind::InvalidFormatTag, tag);
}
TessarineError TessarineError::invalid_version(TwoBytes version) {
  return with_bytes(Kind::InvalidVersion, version);
}
TessarineError TessarineError::transform(std::string text) {
  return with_text(Kind::Transform, std::move(text));
}
TessarineError TessarineError::io(std::string text) {
  return with_text(Kind::Io, std::move(text));
}
TessarineError TessarineError::out_of_memory(std::size_t count) {
  return with_number(Kind::OutOfMemory, count);
}
TessarineError TessarineError::invalid_header() {
  return TessarineError(Kind::InvalidHeader);
}
TessarineError TessarineError::unsupported_configuration(std::string text) {
  return with_text(Kind::UnsupportedConfiguration, std::move(text));
}
TessarineError TessarineError::decompression(std::string text) {
  return with_text(Kind::Decompression, std::move(text));
}
TessarineError TessarineError::unsupported_scale(std::uint8_t scale) {
  return with_number(Kind::UnsupportedScale, scale);
}
TessarineError TessarineError::unknown_coder(std::uint8_t coder) {
  return with_number(Kind::UnknownCoder, coder);
}

std::span<const std::uint8_t> TessarineError::bytes() const {
  return std::span(bytes_).first(byte_count_);
}

std::string_view TessarineError::text() const {
  return text_;
}

std::size_t TessarineError::number() const {
  return number_;
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
