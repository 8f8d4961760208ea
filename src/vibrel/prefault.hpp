#pragma once

// Large fresh allocations are faulted in one page at a time as they are first written. On the
// virtual machines we run on that costs about 1.4 us per 4 KiB page, more than the transform
// that fills the page, so large bands are populated with one system call before use.

#include <cstddef>

namespace vibrel {

// Below this many bytes the system call costs more than the faults it saves.
inline constexpr std::size_t kPrefaultMinBytes = std::size_t{256} << 10;

// Asks the kernel to make the whole pages inside [data, data + bytes) resident and writable.
// Only a hint: the contents are unchanged, and where the kernel cannot do it (older kernels,
// other systems) nothing happens. Returns whether the pages were populated.
bool prefault_for_writing(void* data, std::size_t bytes) noexcept;

}  // namespace vibrel
