#pragma once

#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace tessarine::predictive {

// Estimated size of a run of codes: their order-0 entropy, with small codes as symbols of
// their own and larger ones grouped by bit length, their bits below the top one sent raw.
// Weighs coding choices against each other on a sample, without coding anything.
class CodeCost {
 public:
  // Both cases computed, then selected: whether a code is small is close to a coin toss.
  void add(std::uint64_t code) {
    const bool exact = code < kExact;
    const unsigned top = static_cast<unsigned>(std::bit_width(code | 1)) - 1;
    ++counts_[exact ? code : kExact + top];
    raw_bits_ += exact ? 0 : top;
    ++total_;
  }

  // `bits` more, for data stored beside the codes (escaped samples).
  void add_raw(std::uint64_t bits) { raw_bits_ += bits; }

  [[nodiscard]] double bits() const {
    double bits = static_cast<double>(raw_bits_);
    const double total = static_cast<double>(total_);
    for (std::uint64_t count : counts_) {
      if (count != 0) bits -= static_cast<double>(count) * std::log2(static_cast<double>(count) / total);
    }
    return bits;
  }

 private:
  static constexpr std::size_t kExact = 16;
  std::array<std::uint64_t, kExact + 64> counts_{};
  std::uint64_t raw_bits_ = 0;
  std::uint64_t total_ = 0;
};

}  // namespace tessarine::predictive
