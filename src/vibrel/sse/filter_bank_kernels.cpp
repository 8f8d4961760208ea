// The filter-bank kernels of the SSE tier. There is no 16-tap fixed kernel: at this tier the
// factory serves 16 taps with the generic one.

#include "vibrel/sse/vector_ops.hpp"
#include "vibrel/kernel/filter_bank_kernel_definitions.hpp"

namespace vibrel {

VIBREL_FILTER_BANK_KERNELS(sse::Sse42Set);

}  // namespace vibrel
