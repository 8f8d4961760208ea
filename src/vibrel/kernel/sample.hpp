#pragma once

namespace vibrel {

// The sample type of every transform, kernels included.
using f32 = float;

}  // namespace vibrel
