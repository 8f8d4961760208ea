// Padded arena writers per instruction set. Arguments: signal length, pad on each side,
// border mode. Short pads are what the filter banks use; long pads show the index kernels.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "vibrel/filter_bank/arena_writer.hpp"
#include "vibrel/cpu/cpu_features.hpp"

namespace {

using vibrel::ArenaWriter1d;
using vibrel::BorderMode;
using vibrel::f32;

void run(benchmark::State& state, ArenaWriter1d write, bool available) {
  if (!available) {
    state.SkipWithError("instruction set not offered by this CPU");
    return;
  }
  const auto length = static_cast<std::size_t>(state.range(0));
  const auto pad = static_cast<std::size_t>(state.range(1));
  const auto mode = static_cast<BorderMode>(state.range(2));
  std::vector<f32> signal(length);
  for (std::size_t k = 0; k < length; ++k) signal[k] = static_cast<f32>(k % 251);
  std::vector<f32> arena(length + 2 * pad);
  for (auto _ : state) {
    write(signal.data(), length, arena.data(), pad, pad, mode);
    benchmark::DoNotOptimize(arena.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * 2 * pad));
}

void scalar(benchmark::State& state) { run(state, vibrel::write_arena_1d_impl, true); }
void sse41(benchmark::State& state) {
  run(state, vibrel::sse::write_arena_1d_sse4_1, vibrel::has_sse41());
}
void avx2(benchmark::State& state) {
  run(state, vibrel::avx::write_arena_1d_avx, vibrel::has_avx2());
}

void shapes(benchmark::internal::Benchmark* b) {
  for (int mode : {1, 2, 3}) {
    b->Args({1024, 6, mode});
    b->Args({1 << 16, 7, mode});
    b->Args({4096, 4000, mode});
    b->Args({37, 4000, mode});
  }
}

BENCHMARK(scalar)->Apply(shapes);
BENCHMARK(sse41)->Apply(shapes);
BENCHMARK(avx2)->Apply(shapes);

}  // namespace
