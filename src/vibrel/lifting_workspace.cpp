#include "vibrel/lifting_workspace.hpp"

#include <new>

namespace vibrel {

VibrelResult<std::unique_ptr<f32[]>> lifting_workspace(std::size_t count) {
  try {
    return std::make_unique_for_overwrite<f32[]>(count);
  } catch (const std::bad_alloc&) {
    return std::unexpected(VibrelError::allocation_failure(count * sizeof(f32)));
  }
}

}  // namespace vibrel
