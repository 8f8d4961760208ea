// The lifting kernels of the scalar tier, the reference the others are compared with.

#include "vibrel/kernel/lifting_kernels.hpp"

namespace vibrel {

template <>
void LiftingKernels<ScalarSet>::split_predict(const f32* x, f32* s, f32* d, std::size_t count,
                                              f32 c) {
  for (std::size_t k = 0; k < count; ++k) {
    s[k] = x[2 * k];
    d[k] = (x[2 * k] + x[2 * k + 2]) * c + x[2 * k + 1];
  }
}

template <>
void LiftingKernels<ScalarSet>::update(f32* s, const f32* d, std::size_t count, f32 c) {
  const f32* left = d - 1;  // d[-1] exists: the first coefficient is never an inner one
  for (std::size_t k = 0; k < count; ++k) s[k] = (left[k] + d[k]) * c + s[k];
}

template <>
void LiftingKernels<ScalarSet>::predict(const f32* s, f32* d, std::size_t count, f32 c) {
  for (std::size_t k = 0; k < count; ++k) d[k] = (s[k] + s[k + 1]) * c + d[k];
}

template <>
void LiftingKernels<ScalarSet>::predict_interleave(const f32* e, const f32* d, f32* y,
                                                   std::size_t count, f32 c) {
  for (std::size_t k = 0; k < count; ++k) {
    y[2 * k] = e[k];
    y[2 * k + 1] = (e[k] + e[k + 1]) * c + d[k];
  }
}

template <>
void LiftingKernels<ScalarSet>::scale(const f32* in, f32* out, std::size_t count, f32 c) {
  for (std::size_t k = 0; k < count; ++k) out[k] = in[k] * c;
}

}  // namespace vibrel
