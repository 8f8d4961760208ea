#pragma once

// The raw bit stream: values are appended least significant bit first, and stream bit j is bit
// (j % 8) of byte j / 8. The reader never reads outside its bytes: past the end it supplies
// zeros and remembers that it overran, which the caller checks once at the end.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace tessarine::predictive {

// Writes into memory the caller sized, which has 8 bytes of slack past the last bit for the
// word-wide stores.
class BitWriter {
 public:
  explicit BitWriter(std::uint8_t* out) : out_(out), begin_(out) {}

  // n <= 64; bits above n must be zero.
  void put(std::uint64_t bits, unsigned n) {
    if (n > 56) {
      put_small(bits & 0xFFFFFFFFu, 32);
      bits >>= 32;
      n -= 32;
    }
    put_small(bits, n);
  }

  // Writes the partial last byte; returns the bytes written.
  std::size_t finish() {
    std::memcpy(out_, &acc_, 8);
    return static_cast<std::size_t>(out_ - begin_) + (pending_ + 7) / 8;
  }

 private:
  // n <= 56. Stores the whole word every time and moves on by the complete bytes, without a
  // branch. Little-endian host: the word's bytes land in stream order.
  void put_small(std::uint64_t bits, unsigned n) {
    acc_ |= bits << pending_;  // pending_ < 8
    pending_ += n;
    std::memcpy(out_, &acc_, 8);
    out_ += pending_ / 8;
    acc_ >>= pending_ & ~7u;
    pending_ &= 7;
  }

  std::uint8_t* out_;
  std::uint8_t* begin_;
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
    if (end_ - at_ >= 8) {
      refill_word();  // unconditionally: cheaper than a mispredicted test of held_
    } else if (held_ < n) {
      refill();
    }
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
      refill_word();
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

  // Needs 8 readable bytes. Bits above held_ already in acc_ are the same stream bits, so
  // or-ing the word over them is harmless.
  void refill_word() {
    std::uint64_t word;
    std::memcpy(&word, at_, 8);
    acc_ |= word << held_;
    at_ += (63 - held_) / 8;
    held_ |= 56;
  }

  const std::uint8_t* at_;
  const std::uint8_t* end_;
  const std::uint8_t* begin_;
  std::uint64_t acc_ = 0;
  unsigned held_ = 0;
  std::size_t missing_ = 0;
};

}  // namespace tessarine::predictive
