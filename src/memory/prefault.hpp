#pragma once

// Large fresh allocations are faulted in one page at a time as they are first written. On the
// virtual machines we run on that costs about 1.4 us per 4 KiB page, more than the transform
// that fills the page, so large arrays are populated with one system call before use.

#include <cstddef>
#include <vector>

namespace tessarine {

// Below this many bytes the system call costs more than the faults it saves.
inline constexpr std::size_t kPrefaultMinBytes = std::size_t{256} << 10;

// Asks the kernel to make the whole pages inside [data, data + bytes) resident and writable.
// Only a hint: the contents are unchanged, and where the kernel cannot do it (older kernels,
// other systems) nothing happens. Returns whether the pages were populated.
bool prefault_for_writing(void* data, std::size_t bytes) noexcept;

// The same for arrays about to be filled, skipped where they are too small to gain from it.
inline void prefault_if_large(void* data, std::size_t bytes) noexcept {
  if (bytes >= kPrefaultMinBytes) prefault_for_writing(data, bytes);
}

// A vector of `count` value-initialised elements whose pages, when there are many, are
// populated before the initialisation touches them. Throws as the vector's constructor does.
template <class T>
[[nodiscard]] std::vector<T> populated_vector(std::size_t count) {
  std::vector<T> out;
  out.reserve(count);
  prefault_if_large(out.data(), count * sizeof(T));
  out.resize(count);
  return out;
}

}  // namespace tessarine
