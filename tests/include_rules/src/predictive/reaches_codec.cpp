// Broken on purpose: the bounded coder leans on the container codec.
#include "codec/error.hpp"
#include "memory/scratch_pages.hpp"
