#pragma once

// Uninitialised memory for a large scratch array that one call fills and then drops, such as
// the encoder's decision records (16 bytes per coded byte, up to 32 MiB). Fresh memory costs a page fault
// per 4 KiB page on first touch, which for such arrays rivals the coding work itself, so on
// Linux the array gets its own mapping, aligned for 2 MiB transparent huge pages where the
// system allows them, populated in one system call. Each thread keeps up to two mappings it
// gave back, kMaxCachedScratchBytes together, for its next calls; their pages are marked free
// so that the kernel can reclaim them under memory pressure. Elsewhere, and for small arrays,
// the memory is plain heap memory.

#include <cstddef>
#include <memory>

namespace tessarine {

class ScratchPages {
 public:
  // Throws std::bad_alloc when the memory cannot be had.
  explicit ScratchPages(std::size_t bytes);
  ~ScratchPages();
  ScratchPages(ScratchPages&& other) noexcept;
  ScratchPages& operator=(ScratchPages&& other) noexcept;
  ScratchPages(const ScratchPages&) = delete;
  ScratchPages& operator=(const ScratchPages&) = delete;

  // At least the requested bytes, aligned for any scalar type.
  [[nodiscard]] void* data() const { return data_; }
  // Whether the memory is a mapping of its own rather than heap memory.
  [[nodiscard]] bool mapped() const { return mapping_ != nullptr; }

 private:
  void release() noexcept;

  void* data_ = nullptr;
  void* mapping_ = nullptr;  // the whole mapping, when there is one
  std::size_t mapping_bytes_ = 0;
  std::unique_ptr<std::byte[]> heap_;
};

// Arrays below this size come from the heap: a mapping of their own would not pay for itself.
inline constexpr std::size_t kScratchMappingMinBytes = std::size_t{4} << 20;

// The most memory a thread keeps for reuse between calls.
inline constexpr std::size_t kMaxCachedScratchBytes = std::size_t{64} << 20;

// How many bytes of mappings the calling thread keeps for reuse now.
[[nodiscard]] std::size_t kept_scratch_bytes() noexcept;

}  // namespace tessarine
