// The filter-bank kernels of the scalar tier, the reference the others are compared with.

#include "vibrel/kernel/filter_bank_kernel_definitions.hpp"

namespace vibrel {

VIBREL_FILTER_BANK_KERNELS(ScalarSet);
template struct FixedTapsKernel<ScalarSet, 16>;

}  // namespace vibrel
