#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>

namespace tessarine {

// The single error type of the codec. Lower layers (transform engine, rANS stream, DEFLATE)
// are rendered to text and wrapped; the display text is what the Python user finally sees.
class TessarineError {
 public:
  enum class Kind : std::uint8_t {
    InvalidMethod,
    InvalidMagic,
    InvalidFormatTag,
    InvalidVersion,
    Transform,
    Io,
    OutOfMemory,
    InvalidHeader,
    UnsupportedConfiguration,
    Decompression,
    UnsupportedScale,
    UnknownCoder,
  };

  using FourBytes = std::array<std::uint8_t, 4>;
  using TwoBytes = std::array<std::uint8_t, 2>;

  static TessarineError invalid_method(FourBytes code);
  static TessarineError invalid_magic(FourBytes magic);
  static TessarineError invalid_format_tag(TwoBytes tag);
  static TessarineError invalid_version(TwoBytes version);
  static TessarineError transform(std::string text);
  static TessarineError io(std::string text);
  static TessarineError out_of_memory(std::size_t count);
  static TessarineError invalid_header();
  static TessarineError unsupported_configuration(std::string text);
  static TessarineError decompression(std::string text);
  static TessarineError unsupported_scale(std::uint8_t scale);
  static TessarineError unknown_coder(std::uint8_t coder);

  [[nodiscard]] Kind kind() const { return kind_; }
  // The byte payload of the four byte-carrying kinds; empty for the others.
  [[nodiscard]] std::span<const std::uint8_t> bytes() const;
  // The inner text of the text-carrying kinds; empty for the others.
  [[nodiscard]] std::string_view text() const;
  // The numeric payload of OutOfMemory, UnsupportedScale and UnknownCoder; 0 for the others.
  [[nodiscard]] std::size_t number() const;
  [[nodiscard]] std::string display() const;

  friend bool operator==(const TessarineError&, const TessarineError&) = default;

 private:
  static TessarineError with_bytes(Kind kind, std::span<const std::uint8_t> bytes);
  static TessarineError with_text(Kind kind, std::string text);
  static TessarineError with_number(Kind kind, std::size_t number);

  explicit TessarineError(Kind kind) : kind_(kind) {}

  // Only the fields of the error's kind are set; the rest keep their empty values. (Plain
  // fields rather than a variant: GCC 12 warns falsely about variants holding strings.)
  Kind kind_;
  FourBytes bytes_{};
  std::size_t byte_count_ = 0;
  std::string text_;
  std::size_t number_ = 0;
};

template <class T>
using TessarineResult = std::expected<T, TessarineError>;

}  // namespace tessarine
