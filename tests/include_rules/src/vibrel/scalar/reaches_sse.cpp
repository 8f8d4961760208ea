// Broken on purpose: a tier borrows another tier's intrinsics.
#include "vibrel/sse/vector_ops.hpp"
#include "vibrel/kernel/lifting_kernels.hpp"
