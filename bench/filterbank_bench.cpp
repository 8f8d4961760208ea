// One level of the 8-tap filter banks (db4, periodic borders, as the codec runs them) on one
// million samples. Bytes processed count the input samples (4 bytes each) of the direction.

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "vibrel/cpu/cpu_features.hpp"
#include "vibrel/tables/daubechies.hpp"
#include "vibrel/filter_bank/filter_banks.hpp"

namespace vibrel {
namespace {

constexpr std::size_t kSamples = 1 << 20;

std::vector<f32> signal() {
  std::mt19937 rng(42);
  std::normal_distribution<f32> normal(0.0f, 1.0f);
  std::vector<f32> x(kSamples);
  f32 level = 0.0f;
  for (f32& v : x) v = level += normal(rng);  // a random walk: smooth, like real signals
  return x;
}

template <class E>
bool runnable(benchmark::State& state) {
  const bool sse = std::is_same_v<E, SseWavelet8TapsF32> || std::is_same_v<E, SseWaveletNTapsF32>;
  const bool avx = std::is_same_v<E, AvxWavelet8TapsF32> || std::is_same_v<E, AvxWaveletNTapsF32>;
  if ((sse && !has_sse_tier()) || (avx && !has_avx_tier())) {
    state.SkipWithError("processor lacks this instruction set");
    return false;
  }
  return true;
}

template <class E>
E db4() {
  const auto table = daubechies_taps(DaubechiesWavelet::Db4);
  const std::vector<f32> taps(table.begin(), table.end());
  return E(BorderMode::Wrap, taps);
}

// One level's bands, sized for `n` input samples.
struct Bands {
  std::vector<f32> approx;
  std::vector<f32> details;
};

template <class E>
Bands bands_for(const E& executor, std::size_t n) {
  const DwtSize size = executor.dwt_size(n);
  return {std::vector<f32>(size.approximation_length), std::vector<f32>(size.details_length)};
}

template <class E>
void forward(benchmark::State& state) {
  if (!runnable<E>(state)) return;
  const E executor = db4<E>();
  const std::vector<f32> x = signal();
  auto [approx, details] = bands_for(executor, x.size());
  for (auto _ : state) {
    const auto done = executor.execute_forward(x, approx, details);
    benchmark::DoNotOptimize(done);
    benchmark::DoNotOptimize(approx.data());
    benchmark::DoNotOptimize(details.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * x.size() * sizeof(f32)));
}

template <class E>
void inverse(benchmark::State& state) {
  if (!runnable<E>(state)) return;
  const E executor = db4<E>();
  const std::vector<f32> x = signal();
  auto [approx, details] = bands_for(executor, x.size());
  if (!executor.execute_forward(x, approx, details)) return;
  std::vector<f32> out(executor.idwt_size({approx.size(), details.size()}));
  for (auto _ : state) {
    const auto done = executor.execute_inverse(approx, details, out);
    benchmark::DoNotOptimize(done);
    benchmark::DoNotOptimize(out.data());
  }
  const std::size_t coefficients = approx.size() + details.size();
  state.SetBytesProcessed(
      static_cast<std::int64_t>(state.iterations() * coefficients * sizeof(f32)));
}

BENCHMARK_TEMPLATE(forward, Wavelet8Taps)->Name("forward/scalar");
BENCHMARK_TEMPLATE(forward, SseWavelet8TapsF32)->Name("forward/sse");
BENCHMARK_TEMPLATE(forward, AvxWavelet8TapsF32)->Name("forward/avx");
BENCHMARK_TEMPLATE(forward, AvxWaveletNTapsF32)->Name("forward/avx_generic");
BENCHMARK_TEMPLATE(inverse, Wavelet8Taps)->Name("inverse/scalar");
BENCHMARK_TEMPLATE(inverse, SseWavelet8TapsF32)->Name("inverse/sse");
BENCHMARK_TEMPLATE(inverse, AvxWavelet8TapsF32)->Name("inverse/avx");
BENCHMARK_TEMPLATE(inverse, AvxWaveletNTapsF32)->Name("inverse/avx_generic");

}  // namespace
}  // namespace vibrel
