#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vibrel {

// How the generated tables hold a family of orders first_order, first_order + 1, ...: in one
// array, order K's 2K taps right after those of the orders before it. Order K therefore
// starts at the sum of 2k for k = first_order .. K - 1:
//   offset = K (K - 1) - first_order (first_order - 1)
struct WaveletFamily {
  std::size_t first_order;
  std::size_t orders;

  [[nodiscard]] constexpr std::size_t offset(std::size_t order) const {
    return order * (order - 1) - first_order * (first_order - 1);
  }

  // The length of the family's array.
  [[nodiscard]] constexpr std::size_t size() const { return offset(first_order + orders); }

  // The 2K taps of member `index` (order K = first_order + index) in the family's array, or
  // none for an index past its last order.
  [[nodiscard]] constexpr std::span<const double> member(std::span<const double> taps,
                                                         std::uint32_t index) const {
    if (index >= orders) return {};
    const std::size_t order = first_order + index;
    return taps.subspan(offset(order), 2 * order);
  }
};

}  // namespace vibrel
