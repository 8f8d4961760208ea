#include "predictive/rans_symbols.hpp"

namespace tessarine::predictive {

void make_encode_symbols(const Frequencies& frequencies, EncodeSymbol* symbols) {
  std::uint32_t start = 0;
  for (unsigned t = 0; t < kTokenCount; ++t) {
    const std::uint32_t f = frequencies[t];
    if (f == 0) continue;
    EncodeSymbol& s = symbols[t];
    // x < x_max keeps the coded state below 2^32: x_max = ((kRansLow >> kScaleBits) << 16) * f.
    s.x_max = (std::uint64_t{kRansLow >> kScaleBits} << 16) * f;
    s.complement = kScale - f;
    if (f == 1) {
      s.reciprocal = ~std::uint64_t{0};
      s.bias = start + kScale - 1;
    } else {
      // ceil(2^64 / f)
      s.reciprocal = ~std::uint64_t{0} / f + 1;
      s.bias = start;
    }
    start += f;
  }
}

void fill_decode_slots(const Frequencies& frequencies, std::uint32_t* slots) {
  std::uint32_t start = 0;
  for (unsigned t = 0; t < kTokenCount; ++t) {
    const std::uint32_t f = frequencies[t];
    const std::uint32_t packed = f | std::uint32_t{t} << kSlotTokenShift;
    for (std::uint32_t j = 0; j < f; ++j) slots[start + j] = packed | j << kSlotOffsetShift;
    start += f;
  }
  if (start == 0) {
    for (std::uint32_t j = 0; j < kScale; ++j) slots[j] = kScale | j << kSlotOffsetShift;
  }
}

}  // namespace tessarine::predictive
