#include "vibrel/error.hpp"

#include <iterator>
#include <string_view>

namespace vibrel {

using K = VibrelError::Kind;

VibrelError VibrelError::allocation_failure(std::size_t bytes) {
  return {K::AllocationFailure, bytes, 0};
}
VibrelError VibrelError::half_size_mismatch(std::size_t size) {
  return {K::HalfSizeMismatch, size, 0};
}
VibrelError VibrelError::approx_details_mismatch(std::size_t approximation,
                                                 std::size_t details) {
  return {K::ApproxDetailsMismatch, approximation, details};
}
VibrelError VibrelError::input_not_divisible(std::size_t divisor) {
  return {K::InputNotDivisible, divisor, 0};
}
VibrelError VibrelError::overflow() { return {K::Overflow, 0, 0}; }
VibrelError VibrelError::output_size_mismatch(std::size_t given, std::size_t required) {
  return {K::OutputSizeMismatch, given, required};
}
VibrelError VibrelError::input_too_short(std::size_t length, std::size_t minimum) {
  return {K::InputTooShort, length, minimum};
}
VibrelError VibrelError::input_output_size_mismatch(std::size_t input, std::size_t output) {
  return {K::InputOutputSizeMismatch, input, output};
}
VibrelError VibrelError::invalid_wavelet_length() { return {K::InvalidWaveletLength, 0, 0}; }
VibrelError VibrelError::filter_center_out_of_range(std::size_t center,
                                                    std::size_t filter_size) {
  return {K::FilterCenterOutOfRange, center, filter_size};
}
VibrelError VibrelError::buffer_too_small_for_level() {
  return {K::BufferTooSmallForLevel, 0, 0};
}
VibrelError VibrelError::approx_size_mismatch(std::size_t first, std::size_t second) {
  return {K::ApproxSizeMismatch, first, second};
}
VibrelError VibrelError::details_size_mismatch(std::size_t first, std::size_t second) {
  return {K::DetailsSizeMismatch, first, second};
}
VibrelError VibrelError::zero_sized_input() { return {K::ZeroSizedInput, 0, 0}; }
VibrelError VibrelError::input_size_mismatch(std::size_t required, std::size_t given) {
  return {K::InputSizeMismatch, required, given};
}
VibrelError VibrelError::scratch_size_mismatch(std::size_t required, std::size_t given) {
  return {K::ScratchSizeMismatch, required, given};
}

namespace {

// Every kind's text, in declaration order; {a} and {b} stand for first() and second().
struct KindText {
  K kind;
  std::string_view text;
};
constexpr KindText kTexts[] = {
    {K::AllocationFailure, "Cannot allocate {a} bytes to vector"},
    {K::HalfSizeMismatch,
     "Approximation and details expected to be half of original signal length but it was {a}"},
    {K::ApproxDetailsMismatch, "Approx and details must match, but they don't {a}x{b}"},
    {K::InputNotDivisible, "Input must be divisible by {a}"},
    {K::Overflow, "Overflow is happened"},
    // Carries (given, required) but names the required length first.
    {K::OutputSizeMismatch, "Output size should be {b}, but it was {a}"},
    {K::InputTooShort, "Input size {a} can't be less than {b}"},
    {K::InputOutputSizeMismatch, "Input size {a} does not match output size {b}"},
    {K::InvalidWaveletLength, "Zero or odd sized wavelet"},
    {K::FilterCenterOutOfRange, "Filter center {a} was larger than filter size {b}"},
    {K::BufferTooSmallForLevel, "Buffer was too small for provided level"},
    {K::ApproxSizeMismatch, "Approximate size {a} does not match required size {b}"},
    {K::DetailsSizeMismatch, "Details size {a} does not match required size {b}"},
    {K::ZeroSizedInput, "Zero sized input is not supported"},
    {K::InputSizeMismatch, "Input size expected to be {a} but it was {b}"},
    {K::ScratchSizeMismatch, "Scratch size expected to be {a} but it was {b}"},
};

consteval bool one_text_per_kind_in_order() {
  for (std::size_t i = 0; i < std::size(kTexts); ++i) {
    if (static_cast<std::size_t>(kTexts[i].kind) != i) return false;
  }
  return std::size(kTexts) == static_cast<std::size_t>(K::ScratchSizeMismatch) + 1;
}
static_assert(one_text_per_kind_in_order());

}  // namespace

std::string VibrelError::display() const {
  const auto index = static_cast<std::size_t>(kind_);
  if (index >= std::size(kTexts)) return {};
  const std::string_view text = kTexts[index].text;
  std::string shown;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::string_view rest = text.substr(i);
    if (rest.starts_with("{a}") || rest.starts_with("{b}")) {
      shown += std::to_string(rest[1] == 'a' ? first_ : second_);
      i += 2;
    } else {
      shown += text[i];
    }
  }
  return shown;
}

}  // namespace vibrel
