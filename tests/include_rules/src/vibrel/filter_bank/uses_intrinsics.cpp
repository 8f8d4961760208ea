// Broken on purpose: scalar code includes a tier's intrinsics.
#include "vibrel/kernel/vector_ops_sse.hpp"
