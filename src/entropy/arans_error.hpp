#pragma once

#include <cstdint>
#include <expected>
#include <string>

namespace tessarine::arans {

// The single error type of the entropy coder. A malformed stream is always reported as one of
// these two kinds; the display text is what the codec passes on to the user.
class AransError {
 public:
  enum class Kind : std::uint8_t { Truncated, InvalidLength };

  static AransError truncated() { return AransError(Kind::Truncated); }
  static AransError invalid_length() { return AransError(Kind::InvalidLength); }

  [[nodiscard]] Kind kind() const { return kind_; }
  [[nodiscard]] std::string display() const;

  friend bool operator==(const AransError&, const AransError&) = default;

 private:
  explicit AransError(Kind kind) : kind_(kind) {}

  Kind kind_;
};

template <class T>
using AransResult = std::expected<T, AransError>;

}  // namespace tessarine::arans
