// The filter-bank kernels of the AVX tier.

#include "vibrel/avx/vector_ops.hpp"
#include "vibrel/kernel/filter_bank_kernel_definitions.hpp"

namespace vibrel {

VIBREL_FILTER_BANK_KERNELS(avx::Avx2FmaSet);
template struct FixedTapsKernel<avx::Avx2FmaSet, 16>;

}  // namespace vibrel
