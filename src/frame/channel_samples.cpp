#include "frame/channel_samples.hpp"

#include <algorithm>
#include <cstring>
#include <limits>

#include "frame/sample_value.hpp"

namespace tessarine::frame {
namespace {

template <class T>
void widen(const predictive::SampleView& samples, std::vector<std::int64_t>& values) {
  values.resize(samples.count);
  for (std::size_t t = 0; t < samples.count; ++t) values[t] = static_cast<std::int64_t>(sample_value<T>(samples, t));
}

template <class T>
void narrow(std::span<const std::int64_t> values, std::span<std::byte> out) {
  const auto low = static_cast<std::int64_t>(std::numeric_limits<T>::min());
  const auto high = static_cast<std::int64_t>(std::numeric_limits<T>::max());
  for (std::size_t t = 0; t < values.size(); ++t) {
    const T value = static_cast<T>(std::clamp(values[t], low, high));
    std::memcpy(out.data() + t * sizeof(T), &value, sizeof(T));
  }
}

}  // namespace

std::vector<std::int64_t> widened(const predictive::SampleView& samples) {
  std::vector<std::int64_t> values;
  widen_into(samples, values);
  return values;
}

void widen_into(const predictive::SampleView& samples, std::vector<std::int64_t>& values) {
  with_integer_type(samples.type, [&]<class T>() { widen<T>(samples, values); });
}

void narrow_into(std::span<const std::int64_t> values, predictive::SampleType type,
                 std::span<std::byte> out) {
  with_integer_type(type, [&]<class T>() { narrow<T>(values, out); });
}

void add_prediction(std::span<std::int64_t> values, std::span<const std::int64_t> prediction,
                    predictive::SampleType type) {
  const unsigned bits = 8u * type.size;
  const std::int64_t low = type.kind == 'i' ? -(std::int64_t{1} << (bits - 1)) : 0;
  const std::int64_t high = type.kind == 'i' ? (std::int64_t{1} << (bits - 1)) - 1
                                             : static_cast<std::int64_t>((std::uint64_t{1} << bits) - 1);
  for (std::size_t t = 0; t < values.size(); ++t) {
    std::int64_t sum;
    // A hostile int64 residual can take the sum past int64: it is then past the type's range too.
    if (__builtin_add_overflow(values[t], prediction[t], &sum)) sum = values[t] < 0 ? low : high;
    values[t] = std::clamp(sum, low, high);
  }
}

std::vector<std::int64_t> widened_bytes(std::span<const std::byte> bytes, predictive::SampleType type) {
  const std::size_t count = bytes.size() / type.size;
  return widened({bytes.data(), count, static_cast<std::ptrdiff_t>(type.size), type});
}

}  // namespace tessarine::frame
