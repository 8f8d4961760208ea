#include "frame/sample_range.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "frame/sample_value.hpp"
#include "predictive/half_float.hpp"

namespace tessarine::frame {
namespace {

using predictive::SampleView;

// IEEE half-precision bits, told apart from uint16 samples.
struct Half {
  std::uint16_t bits;
};

template <class T>
double value_at(const SampleView& samples, std::size_t i) {
  const T value = sample_value<T>(samples, i);
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
    const double value = value_at<T>(samples, i);
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
  return with_integer_type(type, [&]<class T>() { return range_of<T>(samples); });
}

}  // namespace tessarine::frame
