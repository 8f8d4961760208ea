#pragma once

#include <cstddef>
#include <new>
#include <stdexcept>
#include <vector>

#include "vibrel/error.hpp"
#include "memory/prefault.hpp"

namespace vibrel {

// Zero-filled working array; a failed allocation becomes AllocationFailure with the bytes
// requested instead of an exception. Large arrays are populated before the zero fill touches
// them (prefault.hpp). Scalar code only: SIMD files never allocate.
template <class T>
[[nodiscard]] VibrelResult<std::vector<T>> zeroed_vector(std::size_t count) {
  try {
    return tessarine::populated_vector<T>(count);
  } catch (const std::bad_alloc&) {
    return std::unexpected(VibrelError::allocation_failure(count * sizeof(T)));
  } catch (const std::length_error&) {
    return std::unexpected(VibrelError::allocation_failure(count * sizeof(T)));
  }
}

}  // namespace vibrel
