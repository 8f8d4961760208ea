#include "vibrel/filter_bank/low_pass_to_high.hpp"

#include <bit>
#include <cstdint>

namespace vibrel {

std::vector<f32> low_pass_to_high(std::span<const f32> low_pass) {
  constexpr std::uint32_t kSignBit = 0x8000'0000u;
  const std::size_t count = low_pass.size();
  std::vector<f32> high(count);
  for (std::size_t k = 0; k < count; ++k) {
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(low_pass[count - 1 - k]);
    high[k] = std::bit_cast<f32>(k % 2 == 0 ? bits : bits ^ kSignBit);
  }
  return high;
}

}  // namespace vibrel
