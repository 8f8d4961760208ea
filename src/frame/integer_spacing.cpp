#include "frame/integer_spacing.hpp"

#include <algorithm>
#include <numeric>

#include "frame/sample_value.hpp"

namespace tessarine::frame {
namespace {

template <class T>
std::uint64_t spacing_of(const predictive::SampleView& samples) {
  if (samples.count == 0) return 0;
  T low = sample_value<T>(samples, 0);
  for (std::size_t i = 1; i < samples.count; ++i) low = std::min(low, sample_value<T>(samples, i));
  std::uint64_t spacing = 0;
  for (std::size_t i = 0; i < samples.count && spacing != 1; ++i) {
    // Distances to the least value fit in 64 unsigned bits for every type, int64 included.
    const auto distance = static_cast<std::uint64_t>(sample_value<T>(samples, i)) - static_cast<std::uint64_t>(low);
    spacing = std::gcd(spacing, distance);
  }
  return spacing;
}

}  // namespace

std::uint64_t integer_spacing(const predictive::SampleView& samples) {
  if (samples.type.kind == 'f') return 0;
  return with_integer_type(samples.type, [&]<class T>() { return spacing_of<T>(samples); });
}

}  // namespace tessarine::frame
