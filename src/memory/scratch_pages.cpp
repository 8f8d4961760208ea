#include "memory/scratch_pages.hpp"

#include <cstdint>
#include <new>
#include <utility>

#include "memory/prefault.hpp"

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace tessarine {
namespace {

constexpr std::size_t kHugePageBytes = std::size_t{2} << 20;

}  // namespace

ScratchPages::ScratchPages(std::size_t bytes) {
#if defined(__linux__)
  if (bytes >= kScratchMappingMinBytes && bytes <= SIZE_MAX - kHugePageBytes) {
    // The slack lets the array start on a huge-page boundary.
    const std::size_t mapping_bytes = bytes + kHugePageBytes;
    void* mapping = mmap(nullptr, mapping_bytes, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping != MAP_FAILED) {
      mapping_ = mapping;
      mapping_bytes_ = mapping_bytes;
      const auto start = reinterpret_cast<std::uintptr_t>(mapping);
      data_ = reinterpret_cast<void*>((start + kHugePageBytes - 1) & ~(kHugePageBytes - 1));
      madvise(data_, bytes, MADV_HUGEPAGE);  // a hint; refused where huge pages are off
      prefault_for_writing(data_, bytes);
      return;
    }
  }
#endif
  heap_ = std::make_unique_for_overwrite<std::byte[]>(bytes);
  data_ = heap_.get();
  prefault_if_large(data_, bytes);
}

ScratchPages::~ScratchPages() { release(); }

ScratchPages::ScratchPages(ScratchPages&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      mapping_(std::exchange(other.mapping_, nullptr)),
      mapping_bytes_(std::exchange(other.mapping_bytes_, 0)),
      heap_(std::move(other.heap_)) {}

ScratchPages& ScratchPages::operator=(ScratchPages&& other) noexcept {
  if (this != &other) {
    release();
    data_ = std::exchange(other.data_, nullptr);
    mapping_ = std::exchange(other.mapping_, nullptr);
    mapping_bytes_ = std::exchange(other.mapping_bytes_, 0);
    heap_ = std::move(other.heap_);
  }
  return *this;
}

void ScratchPages::release() noexcept {
#if defined(__linux__)
  if (mapping_ != nullptr) munmap(mapping_, mapping_bytes_);
#endif
  mapping_ = nullptr;
  mapping_bytes_ = 0;
  heap_.reset();
  data_ = nullptr;
}

}  // namespace tessarine
