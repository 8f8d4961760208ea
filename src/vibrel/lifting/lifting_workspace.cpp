#include "vibrel/lifting/lifting_workspace.hpp"

#include <new>

#include "memory/prefault.hpp"

namespace vibrel {

VibrelResult<std::unique_ptr<f32[]>> lifting_workspace(std::size_t count) {
  try {
    auto workspace = std::make_unique_for_overwrite<f32[]>(count);
    tessarine::prefault_if_large(workspace.get(), count * sizeof(f32));
    return workspace;
  } catch (const std::bad_alloc&) {
    return std::unexpected(VibrelError::allocation_failure(count * sizeof(f32)));
  }
}

}  // namespace vibrel
