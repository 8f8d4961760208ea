#include "vibrel/lifting/cdf53f.hpp"

namespace vibrel {

template class LiftingExecutor<Cdf53Scheme, ScalarLiftingKernels>;
template class LiftingExecutor<Cdf53Scheme, avx::LiftingKernels>;

}  // namespace vibrel
