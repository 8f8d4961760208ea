#include "vibrel/lifting/cdf53f.hpp"

namespace vibrel {

template class LiftingExecutor<Cdf53Scheme, LiftingKernels<ScalarSet>>;
template class LiftingExecutor<Cdf53Scheme, LiftingKernels<avx::Avx2FmaSet>>;

}  // namespace vibrel
