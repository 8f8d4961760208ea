#pragma once

#include <cstddef>
#include <memory>

#include "vibrel/dwt.hpp"
#include "vibrel/error.hpp"

namespace vibrel {

// Uninitialised working samples for an inverse level; every element is written before it is
// read, so zero-filling would be a wasted pass. A failed allocation becomes
// AllocationFailure with the bytes requested.
[[nodiscard]] VibrelResult<std::unique_ptr<f32[]>> lifting_workspace(std::size_t count);

}  // namespace vibrel
