#include "frame/integer_spacing.hpp"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <type_traits>

namespace tessarine::frame {
namespace {

template <class T>
T value_at(const predictive::SampleView& samples, std::size_t i) {
  T value;
  // Addressed from the start each time: a negative stride never steps before the array.
  std::memcpy(&value, samples.data + static_cast<std::ptrdiff_t>(i) * samples.stride, sizeof(T));
  return value;
}

template <class T>
std::uint64_t spacing_of(const predictive::SampleView& samples) {
  if (samples.count == 0) return 0;
  T low = value_at<T>(samples, 0);
  for (std::size_t i = 1; i < samples.count; ++i) low = std::min(low, value_at<T>(samples, i));
  std::uint64_t spacing = 0;
  for (std::size_t i = 0; i < samples.count && spacing != 1; ++i) {
    // Distances to the least value fit in 64 unsigned bits for every type, int64 included.
    const auto distance = static_cast<std::uint64_t>(value_at<T>(samples, i)) - static_cast<std::uint64_t>(low);
    spacing = std::gcd(spacing, distance);
  }
  return spacing;
}

}  // namespace

std::uint64_t integer_spacing(const predictive::SampleView& samples) {
  const auto type = samples.type;
  if (type.kind == 'f') return 0;
  const bool is_signed = type.kind == 'i';
  switch (type.size) {
    case 1: return is_signed ? spacing_of<std::int8_t>(samples) : spacing_of<std::uint8_t>(samples);
    case 2: return is_signed ? spacing_of<std::int16_t>(samples) : spacing_of<std::uint16_t>(samples);
    case 4: return is_signed ? spacing_of<std::int32_t>(samples) : spacing_of<std::uint32_t>(samples);
    default: return is_signed ? spacing_of<std::int64_t>(samples) : spacing_of<std::uint64_t>(samples);
  }
}

}  // namespace tessarine::frame
