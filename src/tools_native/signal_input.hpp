#pragma once

#include <nanobind/nanobind.h>
#include <nanobind/ndarray.h>

#include <cstdint>
#include <span>
#include <vector>

namespace tessarine::tools {

namespace nb = nanobind;

// A 1-D CPU array of real numbers, pinned by `array`, with what the conversion needs copied
// out so that it can run without the interpreter lock.
struct SignalInput {
  nb::ndarray<nb::ro, nb::device::cpu> array;
  const void* data = nullptr;
  std::size_t length = 0;
  std::int64_t stride = 1;  // in elements, may be zero or negative
  nb::dlpack::dtype dtype{};
};

// Accepts a 1-D array of float32, float64 or signed/unsigned 8..64-bit integers in native byte
// order, any strides (float16 too when `half_allowed`). Raises TypeError (not an array of real
// numbers) or ValueError (not 1-D).
[[nodiscard]] SignalInput pin_signal(nb::handle data, bool half_allowed = false);

// The samples as contiguous float32: a view of the input when it already is, otherwise a
// conversion into `storage` (float64 rounds to nearest-even, as every float cast does).
// Touches no Python object: call it with the lock released.
[[nodiscard]] std::span<const float> float_samples(const SignalInput& input,
                                                   std::vector<float>& storage);

}  // namespace tessarine::tools
