#include "vibrel/error.hpp"

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

std::string VibrelError::display() const {
  const std::string a = std::to_string(first_);
  const std::string b = std::to_string(second_);
  switch (kind_) {
    case K::AllocationFailure:
      return "Cannot allocate " + a + " bytes to vector";
    case K::HalfSizeMismatch:
      return "Approximation and details expected to be half of original signal length but it was " +
             a;
    case K::ApproxDetailsMismatch:
      return "Approx and details must match, but they don't " + a + "x" + b;
    case K::InputNotDivisible:
      return "Input must be divisible by " + a;
    case K::Overflow:
      return "Overflow is happened";
    case K::OutputSizeMismatch:
      // Carries (given, required) but names the required length first.
      return "Output size should be " + b + ", but it was " + a;
    case K::InputTooShort:
      return "Input size " + a + " can't be less than " + b;
    case K::InputOutputSizeMismatch:
      return "Input size " + a + " does not match output size " + b;
    case K::InvalidWaveletLength:
      return "Zero or odd sized wavelet";
    case K::FilterCenterOutOfRange:
      return "Filter center " + a + " was larger than filter size " + b;
    case K::BufferTooSmallForLevel:
      return "Buffer was too small for provided level";
    case K::ApproxSizeMismatch:
      return "Approximate size " + a + " does not match required size " + b;
    case K::DetailsSizeMismatch:
      return "Details size " + a + " does not match required size " + b;
    case K::ZeroSizedInput:
      return "Zero sized input is not supported";
    case K::InputSizeMismatch:
      return "Input size expected to be " + a + " but it was " + b;
    case K::ScratchSizeMismatch:
      return "Scratch size expected to be " + a + " but it was " + b;
  }
  return {};
}

}  // namespace vibrel
