#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <string>

namespace vibrel {

// The single error type of the wavelet engine. Kinds are in declaration order; `first` and
// `second` carry the values of the kinds that have them. The display text is the only form
// in which an error leaves the engine.
class VibrelError {
 public:
  enum class Kind : std::uint8_t {
    AllocationFailure,
    HalfSizeMismatch,
    ApproxDetailsMismatch,
    InputNotDivisible,
    Overflow,
    OutputSizeMismatch,
    InputTooShort,
    InputOutputSizeMismatch,
    InvalidWaveletLength,
    FilterCenterOutOfRange,
    BufferTooSmallForLevel,
    ApproxSizeMismatch,
    DetailsSizeMismatch,
    ZeroSizedInput,
    InputSizeMismatch,
    ScratchSizeMismatch,
  };

  static VibrelError allocation_failure(std::size_t bytes);
  static VibrelError half_size_mismatch(std::size_t size);
  static VibrelError approx_details_mismatch(std::size_t approximation, std::size_t details);
  static VibrelError input_not_divisible(std::size_t divisor);
  static VibrelError overflow();
  static VibrelError output_size_mismatch(std::size_t given, std::size_t required);
  static VibrelError input_too_short(std::size_t length, std::size_t minimum);
  static VibrelError input_output_size_mismatch(std::size_t input, std::size_t output);
  static VibrelError invalid_wavelet_length();
  static VibrelError filter_center_out_of_range(std::size_t center, std::size_t filter_size);
  static VibrelError buffer_too_small_for_level();
  static VibrelError approx_size_mismatch(std::size_t first, std::size_t second);
  static VibrelError details_size_mismatch(std::size_t first, std::size_t second);
  static VibrelError zero_sized_input();
  static VibrelError input_size_mismatch(std::size_t required, std::size_t given);
  static VibrelError scratch_size_mismatch(std::size_t required, std::size_t given);

  [[nodiscard]] Kind kind() const { return kind_; }
  [[nodiscard]] std::size_t first() const { return first_; }
  [[nodiscard]] std::size_t second() const { return second_; }
  [[nodiscard]] std::string display() const;

  friend bool operator==(const VibrelError&, const VibrelError&) = default;

 private:
  VibrelError(Kind kind, std::size_t first, std::size_t second)
      : kind_(kind), first_(first), second_(second) {}

  Kind kind_;
  std::size_t first_;
  std::size_t second_;
};

template <class T>
using VibrelResult = std::expected<T, VibrelError>;

}  // namespace vibrel
