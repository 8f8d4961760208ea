// Multi-level CDF 5/3 and 9/7 on 1M samples, 8 levels, scalar against AVX2/FMA. Throughput is
// bytes of input signal per second. The "levels_only" runs repeat the same levels with every
// band allocated once outside the timed loop, so the difference to multi_dwt / multi_idwt is
// the cost of the multi-level driver's copies and allocations.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "vibrel/lifting/cdf53f.hpp"
#include "vibrel/lifting/cdf97f.hpp"
#include "vibrel/cpu/cpu_features.hpp"

namespace {

using vibrel::f32;

constexpr std::size_t kSamples = std::size_t{1} << 20;
constexpr std::size_t kLevels = 8;

std::vector<f32> test_signal() {
  std::mt19937 rng(42);
  std::normal_distribution<f32> noise(0.0f, 1.0f);
  std::vector<f32> x(kSamples);
  for (auto& v : x) v = noise(rng);
  return x;
}

template <class Executor>
bool unsupported(benchmark::State& state) {
  constexpr bool kAvx =
      std::is_same_v<Executor, vibrel::AvxCdf53> || std::is_same_v<Executor, vibrel::AvxCdf97>;
  if (kAvx && !vibrel::has_avx_tier()) {
    state.SkipWithError("CPU lacks AVX2/FMA");
    return true;
  }
  return false;
}

vibrel::MultiDwtView<f32> view_of(const vibrel::MultiDwt<f32>& bands) {
  vibrel::MultiDwtView<f32> view{{}, bands.levels.back().approximations};
  for (const auto& level : bands.levels) view.details.emplace_back(level.details);
  return view;
}

template <class Executor>
void multi_dwt(benchmark::State& state) {
  if (unsupported<Executor>(state)) return;
  const Executor executor;
  const auto x = test_signal();
  for (auto _ : state) {
    auto bands = executor.multi_dwt(x, kLevels);
    if (!bands) state.SkipWithError("multi_dwt failed");
    benchmark::DoNotOptimize(bands);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSamples * sizeof(f32)));
}

template <class Executor>
void multi_idwt(benchmark::State& state) {
  if (unsupported<Executor>(state)) return;
  const Executor executor;
  const auto bands = executor.multi_dwt(test_signal(), kLevels);
  const auto view = view_of(*bands);
  for (auto _ : state) {
    auto y = executor.multi_idwt(view);
    if (!y) state.SkipWithError("multi_idwt failed");
    benchmark::DoNotOptimize(y);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSamples * sizeof(f32)));
}

// All bands of all levels, allocated once.
struct Pyramid {
  std::vector<std::vector<f32>> approximations, details;
};

template <class Executor>
Pyramid pyramid(const Executor& executor) {
  Pyramid p;
  std::size_t n = kSamples;
  for (std::size_t level = 0; level < kLevels; ++level) {
    const auto size = executor.dwt_size(n);
    p.approximations.emplace_back(size.approximation_length);
    p.details.emplace_back(size.details_length);
    n = size.approximation_length;
  }
  return p;
}

template <class Executor>
void forward_levels_only(benchmark::State& state) {
  if (unsupported<Executor>(state)) return;
  const Executor executor;
  const auto x = test_signal();
  Pyramid p = pyramid(executor);
  for (auto _ : state) {
    std::span<const f32> input = x;
    for (std::size_t level = 0; level < kLevels; ++level) {
      if (!executor.execute_forward(input, p.approximations[level], p.details[level])) {
        state.SkipWithError("execute_forward failed");
      }
      input = p.approximations[level];
    }
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSamples * sizeof(f32)));
}

template <class Executor>
void inverse_levels_only(benchmark::State& state) {
  if (unsupported<Executor>(state)) return;
  const Executor executor;
  Pyramid p = pyramid(executor);
  const auto x = test_signal();
  std::vector<f32> output(kSamples);
  for (auto _ : state) {
    for (std::size_t level = kLevels; level-- > 0;) {
      std::span<f32> y = level == 0 ? std::span<f32>(output) : p.approximations[level - 1];
      if (!executor.execute_inverse(p.approximations[level], p.details[level], y)) {
        state.SkipWithError("execute_inverse failed");
      }
    }
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSamples * sizeof(f32)));
}

template <class Executor>
void register_all(const std::string& name) {
  benchmark::RegisterBenchmark((name + "/multi_dwt").c_str(), multi_dwt<Executor>);
  benchmark::RegisterBenchmark((name + "/multi_idwt").c_str(), multi_idwt<Executor>);
  benchmark::RegisterBenchmark((name + "/forward_levels_only").c_str(),
                               forward_levels_only<Executor>);
  benchmark::RegisterBenchmark((name + "/inverse_levels_only").c_str(),
                               inverse_levels_only<Executor>);
}

const bool kRegistered = [] {
  register_all<vibrel::Cdf53>("cdf53/scalar");
  register_all<vibrel::AvxCdf53>("cdf53/avx");
  register_all<vibrel::Cdf97>("cdf97/scalar");
  register_all<vibrel::AvxCdf97>("cdf97/avx");
  return true;
}();

}  // namespace
