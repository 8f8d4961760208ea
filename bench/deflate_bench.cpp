// The DEFLATE coder on the coefficient bytes of the recorded signals (default options): zlib
// level 6, the path every build has, against libdeflate at each level, compressing and
// inflating. Throughput counts coefficient bytes; `ratio` is coefficient bytes over coded
// bytes. The build's level is the fastest whose output over the four signals together is no
// larger than zlib's.
#include <benchmark/benchmark.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "codec/compressor.hpp"
#include "codec/raw_deflate.hpp"
#include "npy_f32.hpp"

#if defined(TESSARINE_HAVE_LIBDEFLATE)
#include <libdeflate.h>
#endif

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr const char* kSignals[] = {"ecg_mitbih100_mlii", "speech_48k", "seismic_event_200hz",
                                    "temperature_cet_daily"};
constexpr std::size_t kHeaderBytes = 52;

// The coefficient bytes a default compression hands its coder.
const Bytes* coefficient_bytes(const std::string& name) {
  static std::map<std::string, std::optional<Bytes>> cache;
  auto [it, inserted] = cache.try_emplace(name);
  if (!inserted) return it->second ? &*it->second : nullptr;
  const auto x =
      tessarine::bench::read_npy_f32(std::string(TESSARINE_DATA_DIR) + "/" + name + ".npy");
  if (!x) return nullptr;
  const auto container =
      tessarine::compress(*x, {.coder = tessarine::Coder::Deflate});
  if (!container) return nullptr;
  auto bytes = tessarine::inflate_raw_zlib(
      std::span(*container).subspan(kHeaderBytes), std::size_t{1} << 40);
  if (bytes) it->second = std::move(*bytes);
  return it->second ? &*it->second : nullptr;
}

template <class Coder>
void compress_bench(benchmark::State& state, std::string name, Coder coder) {
  const Bytes* input = coefficient_bytes(name);
  if (input == nullptr) return state.SkipWithError(("cannot prepare " + name).c_str());
  std::size_t coded = 0;
  for (auto _ : state) {
    const Bytes out = coder(*input);
    coded = out.size();
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input->size()));
  state.counters["ratio"] = static_cast<double>(input->size()) / static_cast<double>(coded);
}

template <class Inflater>
void inflate_bench(benchmark::State& state, std::string name, Inflater inflater) {
  const Bytes* input = coefficient_bytes(name);
  if (input == nullptr) return state.SkipWithError(("cannot prepare " + name).c_str());
  const Bytes coded = tessarine::deflate_raw(*input).value();
  for (auto _ : state) {
    const Bytes out = inflater(coded, input->size());
    if (out != *input) return state.SkipWithError("inflation differs");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input->size()));
}

#if defined(TESSARINE_HAVE_LIBDEFLATE)
Bytes libdeflate_at(const Bytes& input, int level) {
  libdeflate_compressor* c = libdeflate_alloc_compressor(level);
  Bytes out(libdeflate_deflate_compress_bound(c, input.size()));
  out.resize(libdeflate_deflate_compress(c, input.data(), input.size(), out.data(), out.size()));
  libdeflate_free_compressor(c);
  return out;
}
#endif

template <class Body>
void add(const std::string& label, void (*bench)(benchmark::State&, std::string, Body),
         const std::string& name, Body body) {
  benchmark::RegisterBenchmark((label + "/" + name).c_str(), bench, name, body)
      ->Unit(benchmark::kMillisecond);
}

const bool kRegistered = [] {
  for (const char* name : kSignals) {
    add("deflate/zlib6", compress_bench, name,
        +[](const Bytes& b) { return tessarine::deflate_raw_zlib(b).value(); });
    add("deflate/built_in", compress_bench, name,
        +[](const Bytes& b) { return tessarine::deflate_raw(b).value(); });
#if defined(TESSARINE_HAVE_LIBDEFLATE)
    for (int level = 1; level <= 12; ++level) {
      benchmark::RegisterBenchmark(("deflate/libdeflate" + std::to_string(level) + "/" + name).c_str(),
                                   compress_bench<std::function<Bytes(const Bytes&)>>, name,
                                   std::function<Bytes(const Bytes&)>([level](const Bytes& b) {
                                     return libdeflate_at(b, level);
                                   }))
          ->Unit(benchmark::kMillisecond);
    }
#endif
    add("inflate/zlib", inflate_bench, name, +[](const Bytes& c, std::size_t n) {
      return tessarine::inflate_raw_zlib(c, n).value();
    });
    add("inflate/built_in", inflate_bench, name, +[](const Bytes& c, std::size_t n) {
      return tessarine::inflate_raw(c, n).value();
    });
  }
  return true;
}();

}  // namespace
