#pragma once

// Where the backward coding pass collects its renormalisation words. Blocks are coded last
// first, so each block's words go in front of those already held: read from the front they
// are in the decoder's order, and the final state goes in front of them all. The array grows
// at its front.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tessarine::arans {

class WordStack {
 public:
  // Puts `words`, already little-endian, in front of the held ones. Throws std::bad_alloc
  // when it cannot.
  void prepend(std::span<const std::uint16_t> words);
  // The same for the `count` words first[0], first[stride], first[2 * stride], ...
  void prepend(const std::uint16_t* first, std::size_t count, std::size_t stride);

  // Puts the state in front of the words and returns the coded plane: state, then words.
  // Throws std::bad_alloc as prepend does.
  [[nodiscard]] std::span<const std::uint8_t> finish(std::uint32_t state);

 private:
  void reserve_front(std::size_t words);

  std::vector<std::uint16_t> slots_;
  std::size_t front_ = 0;  // slot of the first held word
};

}  // namespace tessarine::arans
