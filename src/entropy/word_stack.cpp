#include "entropy/word_stack.hpp"

#include <algorithm>
#include <bit>

#include "entropy/plane_model.hpp"

namespace tessarine::arans {
namespace {

constexpr std::size_t kStateSlots = 2;

[[nodiscard]] std::uint16_t to_little_endian(std::uint16_t word) {
  if constexpr (std::endian::native == std::endian::big) return std::byteswap(word);
  return word;
}

}  // namespace

void WordStack::reserve_front(std::size_t words) {
  if (front_ >= words) return;
  const std::size_t used = slots_.size() - front_;
  // Doubling keeps the copying linear in the coded size.
  const std::size_t size = std::max(2 * slots_.size(), used + words);
  std::vector<std::uint16_t> grown(size);
  std::copy(slots_.begin() + static_cast<std::ptrdiff_t>(front_), slots_.end(),
            grown.end() - static_cast<std::ptrdiff_t>(used));
  slots_ = std::move(grown);
  front_ = size - used;
}

void WordStack::prepend(std::span<const std::uint16_t> words) {
  prepend(words.data(), words.size(), 1);
}

void WordStack::prepend(const std::uint16_t* first, std::size_t count, std::size_t stride) {
  reserve_front(count);
  front_ -= count;
  for (std::size_t i = 0; i < count; ++i) slots_[front_ + i] = first[i * stride];
}

std::span<const std::uint8_t> WordStack::finish(std::uint32_t state) {
  // Little-endian: the low half first.
  const std::uint16_t halves[kStateSlots] = {
      to_little_endian(static_cast<std::uint16_t>(state)),
      to_little_endian(static_cast<std::uint16_t>(state >> kWordBits))};
  prepend(halves);
  const auto* first = reinterpret_cast<const std::uint8_t*>(slots_.data() + front_);
  return {first, (slots_.size() - front_) * sizeof(std::uint16_t)};
}

}  // namespace tessarine::arans
