// Throughput of the rANS stream coder on 1 MiB of coefficient bytes shaped like quantised
// wavelet details: little-endian int16 with a Laplacian distribution, mostly small.
// The argument is the Laplacian scale (mean magnitude) of the coefficients.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "entropy/arans.hpp"

namespace {

constexpr std::size_t kInputBytes = std::size_t{1} << 20;

// splitmix64: a fixed, library-independent generator, so every run codes the same bytes.
std::uint64_t next_random(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

std::vector<std::uint8_t> laplacian_coefficient_bytes(double scale) {
  std::uint64_t state = 20240611;
  std::vector<std::uint8_t> bytes(kInputBytes);
  for (std::size_t i = 0; i < kInputBytes; i += 2) {
    const std::uint64_t r = next_random(state);
    const double u = (static_cast<double>(r >> 11) + 0.5) * 0x1p-53;
    const double magnitude = std::floor(-scale * std::log(u));
    const double clamped = std::fmin(magnitude, 32767.0);
    const auto value = static_cast<std::int16_t>((r & 1) ? -clamped : clamped);
    const auto bits = static_cast<std::uint16_t>(value);
    bytes[i] = static_cast<std::uint8_t>(bits);
    bytes[i + 1] = static_cast<std::uint8_t>(bits >> 8);
  }
  return bytes;
}

void BM_EncodeStream(benchmark::State& state) {
  const std::vector<std::uint8_t> input = laplacian_coefficient_bytes(state.range(0));
  std::size_t coded = 0;
  for (auto _ : state) {
    std::vector<std::uint8_t> stream = tessarine::arans::encode_stream(input);
    coded = stream.size();
    benchmark::DoNotOptimize(stream.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.size()));
  state.counters["ratio"] = static_cast<double>(input.size()) / static_cast<double>(coded);
}

void BM_DecodeStream(benchmark::State& state) {
  const std::vector<std::uint8_t> input = laplacian_coefficient_bytes(state.range(0));
  const std::vector<std::uint8_t> stream = tessarine::arans::encode_stream(input);
  for (auto _ : state) {
    auto decoded = tessarine::arans::decode_stream(stream);
    if (!decoded || *decoded != input) {
      state.SkipWithError("decoded bytes differ from the input");
      break;
    }
    benchmark::DoNotOptimize(decoded->data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.size()));
}

BENCHMARK(BM_EncodeStream)->Arg(2)->Arg(30)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeStream)->Arg(2)->Arg(30)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace
