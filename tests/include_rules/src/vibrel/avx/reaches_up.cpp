// Broken on purpose on line 2 only: SIMD code reaches up to the factory.
#include "vibrel/factory.hpp"
#include "vibrel/kernel/vector_ops_avx.hpp"
