// Broken on purpose: scalar code includes a tier's intrinsics.
#include "vibrel/sse/vector_ops.hpp"
