#pragma once

#include <cstddef>
#include <memory>

namespace tessarine::predictive {

// A chunk-sized working array, allocated on first use and left uninitialised: a decoder that
// never needs it never pays for it, and no call zeroes memory it is about to overwrite.
template <class T>
class Scratch {
 public:
  explicit Scratch(std::size_t capacity) : capacity_(capacity) {}

  T* get() {
    if (!data_) data_ = std::make_unique_for_overwrite<T[]>(capacity_);
    return data_.get();
  }

 private:
  std::size_t capacity_;
  std::unique_ptr<T[]> data_;
};

}  // namespace tessarine::predictive
