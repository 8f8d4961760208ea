// What the C API costs over the C++ frame calls it wraps, on one 1M-sample float32 call each
// way: argument checks, the status and detail bookkeeping and, for compression, one copy of
// the frame into the caller's buffer. Compare the *Core and *Capi rows.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "capi/tessarine.h"
#include "frame/bounded_frame.hpp"
#include "frame/frame_decode.hpp"

namespace {

namespace frame = tessarine::frame;

constexpr std::size_t kSamples = 1 << 20;
constexpr double kMaxError = 0.005;

const std::vector<float>& signal() {
  static const std::vector<float> samples = [] {
    std::vector<float> s(kSamples);
    std::mt19937 rng(5);
    std::normal_distribution<float> noise(0.0f, 0.01f);
    for (std::size_t i = 0; i < s.size(); ++i) {
      s[i] = std::sin(0.002f * static_cast<float>(i)) + 0.3f * std::sin(0.05f * static_cast<float>(i)) + noise(rng);
    }
    return s;
  }();
  return samples;
}

tessarine::predictive::SampleView view() {
  return {reinterpret_cast<const std::byte*>(signal().data()), kSamples, sizeof(float), {'f', 4}};
}

const std::vector<std::uint8_t>& coded() {
  static const std::vector<std::uint8_t> bytes = *frame::compress_bounded(view(), {kMaxError, NAN, NAN});
  return bytes;
}

void CompressCore(benchmark::State& state) {
  for (auto _ : state) {
    auto bytes = frame::compress_bounded(view(), {kMaxError, NAN, NAN});
    benchmark::DoNotOptimize(bytes);
  }
}

void CompressCapi(benchmark::State& state) {
  std::vector<std::uint8_t> out(tessarine_frame_compress_bound(TESSARINE_FLOAT32, kSamples));
  const tessarine_bound bound{TESSARINE_BOUND_MAX_ERROR, kMaxError, 0, 0};
  for (auto _ : state) {
    std::size_t written = 0;
    benchmark::DoNotOptimize(tessarine_frame_compress(signal().data(), kSamples, TESSARINE_FLOAT32,
                                                      &bound, 1, out.data(), out.size(), &written));
  }
}

void DecompressCore(benchmark::State& state) {
  std::vector<float> out(kSamples);
  for (auto _ : state) {
    auto parsed = frame::parse_frame(coded());
    benchmark::DoNotOptimize(frame::decode_frame(*parsed, std::as_writable_bytes(std::span(out))));
  }
}

void DecompressCapi(benchmark::State& state) {
  std::vector<float> out(kSamples);
  for (auto _ : state) {
    std::size_t written = 0;
    benchmark::DoNotOptimize(tessarine_frame_decompress(coded().data(), coded().size(), 1, out.data(),
                                                        out.size() * sizeof(float), &written));
  }
}

BENCHMARK(CompressCore)->Unit(benchmark::kMillisecond);
BENCHMARK(CompressCapi)->Unit(benchmark::kMillisecond);
BENCHMARK(DecompressCore)->Unit(benchmark::kMillisecond);
BENCHMARK(DecompressCapi)->Unit(benchmark::kMillisecond);

}  // namespace
