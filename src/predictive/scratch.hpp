#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <utility>

namespace tessarine::predictive {

// Chunk-sized buffers this thread's Scratch arrays gave back, kept for its next calls: the
// allocator hands arrays this large back to the system, and a fresh one costs a page fault per
// 4 KiB on first touch, which for a signal of a few chunks was a sixth of decoding it. A thread
// keeps at most kKept buffers of at most kLargest bytes each (8 MiB), freed when it ends.
class ScratchCache {
 public:
  static constexpr std::size_t kKept = 4;
  static constexpr std::size_t kLargest = std::size_t{2} << 20;

  static ScratchCache& of_this_thread() {
    thread_local ScratchCache cache;
    return cache;
  }

  // A kept buffer of at least `bytes` (its size in `bytes`), or none.
  std::unique_ptr<std::byte[]> take(std::size_t& bytes) {
    for (Kept& kept : kept_) {
      if (kept.buffer && kept.bytes >= bytes) {
        bytes = kept.bytes;
        return std::move(kept.buffer);
      }
    }
    return nullptr;
  }

  // Keeps `buffer` when it is small enough and a place is free; frees it otherwise.
  void give_back(std::unique_ptr<std::byte[]> buffer, std::size_t bytes) {
    if (bytes > kLargest) return;
    for (Kept& kept : kept_) {
      if (!kept.buffer) {
        kept = {std::move(buffer), bytes};
        return;
      }
    }
  }

 private:
  struct Kept {
    std::unique_ptr<std::byte[]> buffer;
    std::size_t bytes = 0;
  };
  std::array<Kept, kKept> kept_;
};

// A chunk-sized working array of a trivial type, allocated on first use and left
// uninitialised: a decoder that never needs it never pays for it, and no call zeroes memory it
// is about to overwrite.
template <class T>
class Scratch {
 public:
  explicit Scratch(std::size_t capacity) : capacity_(capacity) {}
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  ~Scratch() {
    if (data_) ScratchCache::of_this_thread().give_back(std::move(data_), bytes_);
  }

  T* get() {
    if (!data_) {
      bytes_ = capacity_ * sizeof(T);
      data_ = ScratchCache::of_this_thread().take(bytes_);
      if (!data_) data_ = std::make_unique_for_overwrite<std::byte[]>(bytes_);
    }
    // operator new aligns for every fundamental type, and a byte array provides the storage.
    return reinterpret_cast<T*>(data_.get());
  }

 private:
  std::size_t capacity_;
  std::size_t bytes_ = 0;
  std::unique_ptr<std::byte[]> data_;
};

}  // namespace tessarine::predictive
