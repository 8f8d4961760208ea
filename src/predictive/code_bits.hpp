#pragma once

// The raw bit stream: values are appended least significant bit first, and stream bit j is bit
// (j % 8) of byte j / 8. The reader never reads outside its bytes: past the end it supplies
// zeros and remembers that it overran, which the caller checks once at the end.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace tessarine::predictive {

// Writes into memory the caller sized: at most `capacity_bits` bits, plus 8 bytes of slack for
// the word-wide stores.
class BitWriter {
 public:
  explicit BitWriter(std::uint8_t* out) : out_(out) {}

  // n <= 64; bits above n must be zero.
  void put(std::uint64_t bits, unsigned n) {
    if (n > 32) {
      put_small(bits & 0xFFFFFFFFu, 32);
      bits >>= 32;
      n -= 32;
    }
    put_small(bits, n);
  }

  // Writes the partial last byte; returns the bytes written.
  std::size_t finish() {
    const std::size_t tail = (pending_ + 7) / 8;
    std::memcpy(out_ + written_, &acc_, 8);
    return written_ + tail;
  }

 private:
  void put_small(std::uint64_t bits, unsigned n) {  // n <= 32, pending_ < 32
    acc_ |= bits << pending_;
    pending_ += n;
    if (pending_ >= 32) {
      std::memcpy(out_ + written_, &acc_, 4);  // little-endian host: byte order as stored
      written_ += 4;
      acc_ >>= 32;
      pending_ -= 32;
    }
  }

  std::uint8_t* out_;
  std::size_t written_ = 0;
  std::uint64_t acc_ = 0;
  unsigned pending_ = 0;
};

class BitReader {
 public:
  explicit BitReader(std::span<const std::uint8_t> bytes)
      : at_(bytes.data()), end_(bytes.data() + bytes.size()), begin_(bytes.data()) {}

  // n <= 64.
  std::uint64_t get(unsigned n) {
    if (n <= 56) return get_small(n);
    const std::uint64_t low = get_small(32);
    return low | (get_small(n - 32) << 32);
  }

  // n <= 56.
  std::uint64_t get_small(unsigned n) {
    if (held_ < n) refill();
    const std::uint64_t value = acc_ & ((std::uint64_t{1} << n) - 1);
    acc_ >>= n;
    held_ -= n;
    return value;
  }

  // The next n <= 56 bits, left unread until skip(n).
  std::uint64_t peek(unsigned n) {
    if (held_ < n) refill();
    return acc_ & ((std::uint64_t{1} << n) - 1);
  }
  void skip(unsigned n) {  // n <= the bits just peeked
    acc_ >>= n;
    held_ -= n;
  }

  // Bytes holding the bits read so far, or more than the input if it ran short.
  [[nodiscard]] std::size_t bytes_used() const {
    return static_cast<std::size_t>(at_ - begin_) + missing_ - held_ / 8;
  }
  [[nodiscard]] bool overran() const { return missing_ * 8 > held_; }

 private:
  // Leaves at least 56 bits held.
  void refill() {
    if (end_ - at_ >= 8) {
      std::uint64_t word;
      std::memcpy(&word, at_, 8);
      acc_ |= word << held_;
      at_ += (63 - held_) / 8;
      held_ |= 56;
      return;
    }
    while (held_ <= 56) {
      if (at_ < end_) {
        acc_ |= std::uint64_t{*at_++} << held_;
      } else {
        ++missing_;
      }
      held_ += 8;
    }
  }

  const std::uint8_t* at_;
  const std::uint8_t* end_;
  const std::uint8_t* begin_;
  std::uint64_t acc_ = 0;
  unsigned held_ = 0;
  std::size_t missing_ = 0;
};

}  // namespace tessarine::predictive
