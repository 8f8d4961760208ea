#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <vector>

#include "vibrel/dwt.hpp"
#include "vibrel/error.hpp"

namespace vibrel {

// Single-level forward transform. Bands passed in must have the lengths dwt_size() gives.
template <class T>
class DwtForwardExecutor {
 public:
  virtual ~DwtForwardExecutor() = default;
  [[nodiscard]] virtual VibrelResult<void> execute_forward(std::span<const T> input,
                                                           std::span<T> approximations,
                                                           std::span<T> details) const = 0;
  [[nodiscard]] virtual VibrelResult<void> execute_forward_with_scratch(
      std::span<const T> input, std::span<T> approximations, std::span<T> details,
      std::span<T> scratch) const = 0;
  [[nodiscard]] virtual std::size_t required_scratch_size(std::size_t input_length) const = 0;
  [[nodiscard]] virtual DwtSize dwt_size(std::size_t input_length) const = 0;
};

// Single-level inverse transform.
template <class T>
class DwtInverseExecutor {
 public:
  virtual ~DwtInverseExecutor() = default;
  [[nodiscard]] virtual VibrelResult<void> execute_inverse(std::span<const T> approximations,
                                                           std::span<const T> details,
                                                           std::span<T> output) const = 0;
  [[nodiscard]] virtual std::size_t idwt_size(DwtSize size) const = 0;
};

template <class T>
class IncompleteDwtExecutor : public DwtForwardExecutor<T>, public DwtInverseExecutor<T> {
 public:
  [[nodiscard]] virtual std::size_t filter_length() const = 0;
};

// A complete transform: single-level operations plus the multi-level driver.
template <class T>
class DwtExecutor : public IncompleteDwtExecutor<T> {
 public:
  [[nodiscard]] virtual VibrelResult<Dwt<T>> dwt(std::span<const T> input,
                                                 std::size_t level) const = 0;
  [[nodiscard]] virtual VibrelResult<MultiDwt<T>> multi_dwt(std::span<const T> input,
                                                            std::size_t levels) const = 0;
  // As multi_dwt, for a caller that needs only the bands: `input` is freed after the first
  // level, and each approximation band but the coarsest once the next level has read it, so
  // the finer entries' approximations come back empty.
  [[nodiscard]] virtual VibrelResult<MultiDwt<T>> multi_dwt_consuming(std::vector<T>&& input,
                                                                      std::size_t levels) const = 0;
  [[nodiscard]] virtual VibrelResult<std::vector<T>> idwt(const DwtView<T>& view) const = 0;
  [[nodiscard]] virtual VibrelResult<std::vector<T>> multi_idwt(
      const MultiDwtView<T>& view) const = 0;
  // The same result as multi_idwt(view_of(bands)), and the same errors; a transform that can
  // reconstruct inside the bands' own array does so, to need less memory.
  [[nodiscard]] virtual VibrelResult<std::vector<T>> multi_idwt_consuming(
      MultiDwtStorage<T>&& bands) const = 0;
};

// Executors are immutable and shared; handles are reference-counted and thread-safe.
template <class T>
using IncompleteDwtHandle = std::shared_ptr<const IncompleteDwtExecutor<T>>;
template <class T>
using DwtHandle = std::shared_ptr<const DwtExecutor<T>>;

}  // namespace vibrel
