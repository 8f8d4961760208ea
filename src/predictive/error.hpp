#pragma once

#include <cstdint>
#include <expected>
#include <string>

namespace tessarine::predictive {

// The single error type of the bounded coder: a damaged stream (naming the part that failed
// its check), a bound it cannot honour, or memory that could not be had.
class PredictiveError {
 public:
  enum class Kind : std::uint8_t { Damaged, BadArgument, OutOfMemory };

  // `what` names the failed part; a string literal (it is not copied).
  static PredictiveError damaged(const char* what) { return {Kind::Damaged, what}; }
  static PredictiveError bad_argument(const char* what) { return {Kind::BadArgument, what}; }
  static PredictiveError out_of_memory() { return {Kind::OutOfMemory, ""}; }

  [[nodiscard]] Kind kind() const { return kind_; }
  [[nodiscard]] std::string display() const;

  friend bool operator==(const PredictiveError&, const PredictiveError&) = default;

 private:
  PredictiveError(Kind kind, const char* what) : kind_(kind), what_(what) {}
  Kind kind_;
  const char* what_;
};

template <class T>
using PredictiveResult = std::expected<T, PredictiveError>;

}  // namespace tessarine::predictive
