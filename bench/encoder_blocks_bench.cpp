// The rANS stream encoder's memory against its speed on 20 MB of coefficient-like bytes (the
// byte image of 10 million samples): the default block plan, and every decision recorded at
// once as a single block (16 bytes per coded byte, no second modelling pass). The output is the
// same; `record_MiB` is the decision memory the plan holds.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "entropy/plane_encoder.hpp"

namespace {

using tessarine::arans::BlockLimits;
using tessarine::arans::PlaneEncoder;

const std::vector<std::uint8_t>& coefficient_bytes() {
  static const std::vector<std::uint8_t> bytes = [] {
    std::vector<std::uint8_t> b(20'000'000);
    std::mt19937 rng(3);
    std::geometric_distribution<int> magnitude(0.05);
    for (std::size_t i = 0; i < b.size(); i += 2) {
      const int v = magnitude(rng) * ((rng() & 1) != 0 ? 1 : -1);
      b[i] = static_cast<std::uint8_t>(v);
      b[i + 1] = static_cast<std::uint8_t>(v >> 8);
    }
    return b;
  }();
  return bytes;
}

void encode(benchmark::State& state, BlockLimits limits) {
  const std::vector<std::uint8_t>& input = coefficient_bytes();
  double record_bytes = 0;
  for (auto _ : state) {
    PlaneEncoder<2> encoder(input, 8, limits);
    encoder.encode();
    benchmark::DoNotOptimize(encoder.coded(0).data());
    const auto& plan = encoder.plan();
    record_bytes = static_cast<double>(plan.kept * plan.block * 2 * 16);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.size()));
  state.counters["record_MiB"] = record_bytes / (1 << 20);
}

BENCHMARK_CAPTURE(encode, blocks, BlockLimits{})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(encode, one_block, BlockLimits{.max_record_bytes = SIZE_MAX})
    ->Unit(benchmark::kMillisecond);

}  // namespace
