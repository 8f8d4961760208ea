// Broken on purpose on line 2 only: SIMD code reaches up to the factory.
#include "vibrel/factory.hpp"
#include "vibrel/avx/vector_ops.hpp"
