#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "predictive/byte_io.hpp"
#include "predictive/sample_type.hpp"

namespace tessarine::frame {

// Sample `i` of a view as T, the C++ type of the view's samples.
template <class T>
[[nodiscard]] T sample_value(const predictive::SampleView& samples, std::size_t i) {
  T value;
  std::memcpy(&value, predictive::sample_at(samples, i), sizeof(T));
  return value;
}

// Calls visit.template operator()<T>() with the C++ type of an integer sample type.
template <class Visit>
decltype(auto) with_integer_type(predictive::SampleType type, Visit&& visit) {
  const bool is_signed = type.kind == 'i';
  switch (type.size) {
    case 1:
      return is_signed ? visit.template operator()<std::int8_t>() : visit.template operator()<std::uint8_t>();
    case 2:
      return is_signed ? visit.template operator()<std::int16_t>() : visit.template operator()<std::uint16_t>();
    case 4:
      return is_signed ? visit.template operator()<std::int32_t>() : visit.template operator()<std::uint32_t>();
    default:
      return is_signed ? visit.template operator()<std::int64_t>() : visit.template operator()<std::uint64_t>();
  }
}

}  // namespace tessarine::frame
