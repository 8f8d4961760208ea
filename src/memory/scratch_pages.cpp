#include "memory/scratch_pages.hpp"

#include <array>
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

#if defined(__linux__)
struct Mapping {
  void* start = nullptr;
  std::size_t bytes = 0;
};

// Mappings this thread gave back, kept for its next requests: a fresh mapping costs the kernel
// a page of zeroes per page, which for the encoder is a tenth of the coding time. Their pages
// are released with MADV_FREE, so the kernel takes them back whenever it needs memory and a
// reused page is then simply a fresh one.
class MappingCache {
 public:
  MappingCache() = default;
  MappingCache(const MappingCache&) = delete;
  MappingCache& operator=(const MappingCache&) = delete;
  ~MappingCache() {
    for (const Mapping& m : kept_) {
      if (m.start != nullptr) munmap(m.start, m.bytes);
    }
  }

  // A kept mapping of at least `bytes`, or none.
  [[nodiscard]] Mapping take(std::size_t bytes) {
    for (Mapping& m : kept_) {
      if (m.start != nullptr && m.bytes >= bytes) return std::exchange(m, Mapping{});
    }
    return {};
  }

  [[nodiscard]] std::size_t bytes() const {
    std::size_t total = 0;
    for (const Mapping& m : kept_) total += m.bytes;
    return total;
  }

  // Keeps `mapping` if there is room; false when the caller must unmap it.
  [[nodiscard]] bool keep(Mapping mapping) {
    std::size_t total = mapping.bytes;
    Mapping* free_slot = nullptr;
    for (Mapping& m : kept_) {
      total += m.bytes;
      if (m.start == nullptr) free_slot = &m;
    }
    if (free_slot == nullptr || total > kMaxCachedScratchBytes) return false;
    madvise(mapping.start, mapping.bytes, MADV_FREE);
    *free_slot = mapping;
    return true;
  }

 private:
  // Room for two arrays held at once; the stream encoder holds one.
  std::array<Mapping, 2> kept_{};
};

thread_local MappingCache cache;

[[nodiscard]] Mapping new_mapping(std::size_t bytes) {
  void* start = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (start == MAP_FAILED) return {};
  return {start, bytes};
}
#endif

}  // namespace

ScratchPages::ScratchPages(std::size_t bytes) {
#if defined(__linux__)
  if (bytes >= kScratchMappingMinBytes && bytes <= SIZE_MAX - kHugePageBytes) {
    // The slack lets the array start on a huge-page boundary.
    const std::size_t wanted = bytes + kHugePageBytes;
    Mapping mapping = cache.take(wanted);
    if (mapping.start == nullptr) mapping = new_mapping(wanted);
    if (mapping.start != nullptr) {
      mapping_ = mapping.start;
      mapping_bytes_ = mapping.bytes;
      const auto start = reinterpret_cast<std::uintptr_t>(mapping.start);
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

std::size_t kept_scratch_bytes() noexcept {
#if defined(__linux__)
  return cache.bytes();
#else
  return 0;
#endif
}

void ScratchPages::release() noexcept {
#if defined(__linux__)
  if (mapping_ != nullptr && !cache.keep({mapping_, mapping_bytes_})) {
    munmap(mapping_, mapping_bytes_);
  }
#endif
  mapping_ = nullptr;
  mapping_bytes_ = 0;
  heap_.reset();
  data_ = nullptr;
}

}  // namespace tessarine
