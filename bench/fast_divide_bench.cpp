// Folding positions into a signal of run-time length: the precomputed divider against the
// hardware division it replaces. Argument: the divisor.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "vibrel/kernel/fast_divide.hpp"

namespace {

std::vector<std::int64_t> positions() {
  std::vector<std::int64_t> v(4096);
  std::uint64_t x = 88172645463325252u;
  for (auto& p : v) {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    p = static_cast<std::int64_t>(x >> 20) - (std::int64_t{1} << 43);
  }
  return v;
}

void divider(benchmark::State& state) {
  const auto divide_by = vibrel::DividerI64::make(state.range(0));
  const std::vector<std::int64_t> v = positions();
  for (auto _ : state) {
    std::int64_t sum = 0;
    for (std::int64_t p : v) sum += divide_by.remainder_euclid(p);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * v.size()));
}

void hardware(benchmark::State& state) {
  std::int64_t d = state.range(0);
  benchmark::DoNotOptimize(d);  // keep the divisor unknown to the compiler, as at run time
  const std::vector<std::int64_t> v = positions();
  for (auto _ : state) {
    std::int64_t sum = 0;
    for (std::int64_t p : v) {
      const std::int64_t r = p % d;
      sum += r < 0 ? r + d : r;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * v.size()));
}

BENCHMARK(divider)->Arg(7)->Arg(1024)->Arg(65537)->Arg(1000003);
BENCHMARK(hardware)->Arg(7)->Arg(1024)->Arg(65537)->Arg(1000003);

}  // namespace
