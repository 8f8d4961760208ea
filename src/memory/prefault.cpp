#include "memory/prefault.hpp"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace tessarine {

bool prefault_for_writing(void* data, std::size_t bytes) noexcept {
#if defined(__linux__)
  // Linux 5.14 and later; older kernels answer EINVAL and the pages fault in as usual.
  constexpr int kPopulateWrite = 23;  // MADV_POPULATE_WRITE, absent from older headers
  const long page_size = sysconf(_SC_PAGESIZE);
  if (page_size <= 0 || data == nullptr) return false;
  const auto page = static_cast<std::uintptr_t>(page_size);
  const auto begin = reinterpret_cast<std::uintptr_t>(data);
  if (bytes > UINTPTR_MAX - begin - page) return false;
  const std::uintptr_t first = (begin + page - 1) & ~(page - 1);
  const std::uintptr_t last = (begin + bytes) & ~(page - 1);
  if (last <= first) return false;
  return madvise(reinterpret_cast<void*>(first), last - first, kPopulateWrite) == 0;
#else
  (void)data;
  (void)bytes;
  return false;
#endif
}

}  // namespace tessarine
