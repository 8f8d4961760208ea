// Throughput and size of the predictive code coder on 64 chunks of kCodeChunk codes shaped like
// zigzagged prediction residuals: two-sided geometric of mean magnitude 0.5, 4, 60 or 3000, and
// bursts that switch between those every few hundred to two thousand codes with a rare huge
// reserved code. Counters: bits per code, and size over the per-chunk order-0 entropy of the
// tokens plus their extra bits.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "predictive/code_coder.hpp"
#include "predictive/code_tokens.hpp"

namespace {

using tessarine::predictive::kCodeChunk;

constexpr std::size_t kChunks = 64;
constexpr double kMeans[] = {0.5, 4.0, 60.0, 3000.0};

// splitmix64: a fixed, library-independent generator, so every run codes the same codes.
std::uint64_t next_random(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// Distribution 0..3: one mean of kMeans; 4: bursts.
std::vector<std::uint64_t> residual_codes(int distribution) {
  std::uint64_t state = 20240611;
  std::vector<std::uint64_t> codes(kChunks * kCodeChunk);
  double mean = kMeans[distribution % 4];
  std::size_t burst_left = 0;
  for (auto& code : codes) {
    const std::uint64_t r = next_random(state);
    if (distribution == 4 && burst_left-- == 0) {
      mean = kMeans[r % 4];
      burst_left = 50 + (r >> 8) % 2000;
    }
    const double u = (static_cast<double>(r >> 11) + 0.5) * 0x1p-53;
    const auto magnitude = static_cast<std::uint64_t>(std::floor(std::log(u) / std::log(mean / (mean + 1))));
    code = 2 * magnitude - ((r & 1) && magnitude ? 1 : 0);
    if (distribution == 4 && (r >> 40) % 1000 == 0) code = (std::uint64_t{1} << 63) + 5;
  }
  return codes;
}

double order0_bytes(std::span<const std::uint64_t> codes) {
  using namespace tessarine::predictive;
  double total = 0;
  for (std::size_t at = 0; at < codes.size(); at += kCodeChunk) {
    std::vector<double> counts(kTokenCount);
    for (std::uint64_t v : codes.subspan(at, kCodeChunk)) {
      counts[token_of(v)] += 1;
      total += extra_bits_of_token(token_of(v));
    }
    for (double c : counts) total += c ? c * std::log2(kCodeChunk / c) : 0;
  }
  return total / 8;
}

bool encode_all(std::span<const std::uint64_t> codes, std::vector<std::uint8_t>& bytes) {
  bytes.clear();
  for (std::size_t at = 0; at < codes.size(); at += kCodeChunk) {
    if (!tessarine::predictive::encode_codes(codes.subspan(at, kCodeChunk), bytes)) return false;
  }
  return true;
}

void set_counters(benchmark::State& state, std::span<const std::uint64_t> codes,
                  const std::vector<std::uint8_t>& bytes) {
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * codes.size()));
  state.counters["bits_per_code"] = 8.0 * static_cast<double>(bytes.size()) / static_cast<double>(codes.size());
  state.counters["over_order0"] = static_cast<double>(bytes.size()) / order0_bytes(codes);
}

void BM_EncodeCodes(benchmark::State& state) {
  const std::vector<std::uint64_t> codes = residual_codes(static_cast<int>(state.range(0)));
  std::vector<std::uint8_t> bytes;
  bytes.reserve(codes.size() * 9);
  for (auto _ : state) {
    if (!encode_all(codes, bytes)) {
      state.SkipWithError("encoding failed");
      break;
    }
    benchmark::DoNotOptimize(bytes.data());
  }
  set_counters(state, codes, bytes);
}

void BM_DecodeCodes(benchmark::State& state) {
  const std::vector<std::uint64_t> codes = residual_codes(static_cast<int>(state.range(0)));
  std::vector<std::uint8_t> bytes;
  if (!encode_all(codes, bytes)) {
    state.SkipWithError("encoding failed");
    return;
  }
  std::vector<std::uint64_t> decoded(codes.size());
  for (auto _ : state) {
    std::size_t at = 0;
    for (std::size_t c = 0; c < codes.size(); c += kCodeChunk) {
      const auto used = tessarine::predictive::decode_codes(
          std::span(bytes).subspan(at), std::span(decoded).subspan(c, kCodeChunk));
      if (!used) {
        state.SkipWithError("decoding failed");
        return;
      }
      at += *used;
    }
    benchmark::DoNotOptimize(decoded.data());
  }
  if (decoded != codes) state.SkipWithError("decoded codes differ from the input");
  set_counters(state, codes, bytes);
}

BENCHMARK(BM_EncodeCodes)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeCodes)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

}  // namespace
