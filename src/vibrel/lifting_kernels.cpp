#include "vibrel/lifting_kernels.hpp"

#include <algorithm>

namespace vibrel {

void ScalarLiftingKernels::split_predict(const f32* x, std::size_t n, f32* s, f32* d, f32 c) {
  const std::size_t h = n / 2;
  std::size_t k = 0;
  for (; 2 * k + 2 < n; ++k) d[k] = (x[2 * k] + x[2 * k + 2]) * c + x[2 * k + 1];
  // The last odd sample of an even n has no right neighbour and mirrors x[n-2].
  if (n % 2 == 0) d[h - 1] = (x[n - 2] + x[n - 2]) * c + x[n - 1];
  for (k = 0; k < n - h; ++k) s[k] = x[2 * k];
}

void ScalarLiftingKernels::update(f32* s, std::size_t a, const f32* d, std::size_t b, f32 c) {
  s[0] = (d[0] + d[0]) * c + s[0];
  const std::size_t last = std::min(b - 1, a - 2);
  for (std::size_t k = 1; k <= last; ++k) s[k] = (d[k - 1] + d[k]) * c + s[k];
  // For odd n (a == b + 1) both neighbours of the last coefficient are d[b-1].
  s[a - 1] = (d[a - 2] + d[b - 1]) * c + s[a - 1];
}

void ScalarLiftingKernels::predict(const f32* s, std::size_t a, f32* d, std::size_t b, f32 c) {
  const std::size_t pairs = std::min(a - 1, b);
  for (std::size_t k = 0; k < pairs; ++k) d[k] = (s[k] + s[k + 1]) * c + d[k];
  if (pairs < b) d[b - 1] = (s[b - 1] + s[b - 1]) * c + d[b - 1];
}

void ScalarLiftingKernels::predict_interleave(const f32* e, std::size_t a, const f32* d,
                                              std::size_t b, f32 c, f32* y) {
  const std::size_t pairs = std::min(a - 1, b);
  for (std::size_t k = 0; k < pairs; ++k) {
    y[2 * k] = e[k];
    y[2 * k + 1] = (e[k] + e[k + 1]) * c + d[k];
  }
  if (pairs < b) {
    y[2 * b - 2] = e[b - 1];
    y[2 * b - 1] = (e[b - 1] + e[b - 1]) * c + d[b - 1];
  }
  if (a > b) y[2 * b] = e[b];
}

void ScalarLiftingKernels::scale(const f32* in, f32* out, std::size_t n, f32 c) {
  for (std::size_t k = 0; k < n; ++k) out[k] = in[k] * c;
}

}  // namespace vibrel
