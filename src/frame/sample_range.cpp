#include "frame/sample_range.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "predictive/half_float.hpp"

namespace tessarine::frame {
namespace {

using predictive::SampleView;

// IEEE half-precision bits, told apart from uint16 samples.
struct Half {
  std::uint16_t bits;
};

template <class T>
double value_at(const std::byte* at) {
  T value;
  std::memcpy(&value, at, sizeof(T));
  if constexpr (std::is_same_v<T, Half>) {
    return predictive::half_to_double(value.bits);
  } else {
    return static_cast<double>(value);
  }
}

template <class T>
SampleRange range_of(const SampleView& samples) {
  SampleRange range{INFINITY, -INFINITY, 0};
  for (std::size_t i = 0; i < samples.count; ++i) {
    // Addressed from the start each time: a negative stride never steps before the array.
    const double value =
        value_at<T>(samples.data + static_cast<std::ptrdiff_t>(i) * samples.stride);
    if (!std::isfinite(value)) continue;
    range.low = std::min(range.low, value);
    range.high = std::max(range.high, value);
    ++range.finite;
  }
  return range.finite ? range : SampleRange{};
}

}  // namespace

SampleRange sample_range(const SampleView& samples) {
  const auto type = samples.type;
  if (type.kind == 'f') {
    if (type.size == 2) return range_of<Half>(samples);
    return type.size == 4 ? range_of<float>(samples) : range_of<double>(samples);
  }
  const bool is_signed = type.kind == 'i';
  switch (type.size) {
    case 1:
      return is_signed ? range_of<std::int8_t>(samples) : range_of<std::uint8_t>(samples);
    case 2:
      return is_signed ? range_of<std::int16_t>(samples) : range_of<std::uint16_t>(samples);
    case 4:
      return is_signed ? range_of<std::int32_t>(samples) : range_of<std::uint32_t>(samples);
    default:
      return is_signed ? range_of<std::int64_t>(samples) : range_of<std::uint64_t>(samples);
  }
}

}  // namespace tessarine::frame
