// Compression and decompression throughput of the whole codec on the recorded signals, for
// every method with both coders. Throughput counts the float32 input (4 bytes per sample);
// `ratio` is input bytes over container bytes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "codec/compressor.hpp"
#include "codec/decompressor.hpp"
#include "codec/levels.hpp"
#include "codec/normalize.hpp"
#include "codec/quantize.hpp"
#include "codec/transform.hpp"
#include "entropy/arans.hpp"
#include "npy_f32.hpp"

namespace {

using tessarine::Coder;
using tessarine::CompressionOptions;
using tessarine::Method;

constexpr const char* kSignals[] = {"ecg_mitbih100_mlii", "speech_48k", "seismic_event_200hz",
                                    "temperature_cet_daily"};

const std::vector<float>* signal(const std::string& name) {
  static std::map<std::string, std::optional<std::vector<float>>> cache;
  auto [it, inserted] = cache.try_emplace(name);
  if (inserted) it->second = tessarine::bench::read_npy_f32(std::string(TESSARINE_DATA_DIR) + "/" + name + ".npy");
  return it->second ? &*it->second : nullptr;
}

void compress_bench(benchmark::State& state, std::string name, CompressionOptions options) {
  const std::vector<float>* x = signal(name);
  if (x == nullptr) return state.SkipWithError(("cannot read " + name).c_str());
  std::size_t container_size = 0;
  for (auto _ : state) {
    auto out = tessarine::compress(*x, options);
    if (!out) return state.SkipWithError(out.error().display().c_str());
    container_size = out->size();
    benchmark::DoNotOptimize(out->data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * 4 * x->size()));
  state.counters["ratio"] = 4.0 * static_cast<double>(x->size()) / container_size;
}

void decompress_bench(benchmark::State& state, std::string name, CompressionOptions options) {
  const std::vector<float>* x = signal(name);
  if (x == nullptr) return state.SkipWithError(("cannot read " + name).c_str());
  const auto container = tessarine::compress(*x, options);
  if (!container) return state.SkipWithError(container.error().display().c_str());
  for (auto _ : state) {
    auto out = tessarine::decompress(*container);
    if (!out) return state.SkipWithError(out.error().display().c_str());
    benchmark::DoNotOptimize(out->data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * 4 * x->size()));
  state.counters["ratio"] = 4.0 * static_cast<double>(x->size()) / container->size();
}

// The stages of a default compression (CDF 9/7, scale 11, low cutoff, rANS) on one signal, to
// show where the time goes. Throughput is again counted in input float32 bytes.
struct Stages {
  std::vector<float> normalized;
  vibrel::DwtHandle<float> transform;
  std::size_t levels;
  vibrel::MultiDwt<float> bands;
  std::vector<std::uint8_t> coefficient_bytes;
  std::vector<std::uint8_t> stream;
};

std::optional<Stages> stages_of(const std::vector<float>& x) {
  Stages s{std::vector<float>(x.size()), tessarine::make_transform(Method::Cdf97), 0, {}, {}, {}};
  const auto range = tessarine::sanitize_and_range(x, s.normalized);
  (void)tessarine::normalize(s.normalized, range);
  s.levels = tessarine::decomposition_levels(x.size(), s.transform->filter_length());
  auto bands = s.transform->multi_dwt(s.normalized, s.levels);
  if (!bands) return std::nullopt;
  s.bands = std::move(*bands);
  std::vector<std::int16_t> q(s.bands.levels.back().approximations.size());
  tessarine::quantize_band(s.bands.levels.back().approximations, 11, 0, q);
  for (const auto& level : s.bands.levels) {
    std::vector<std::int16_t> d(level.details.size());
    tessarine::quantize_band(level.details, 11, tessarine::base_threshold(11), d);
    q.insert(q.end(), d.begin(), d.end());
  }
  const std::span<const std::uint8_t> bytes = tessarine::coefficients_as_bytes(q);
  s.coefficient_bytes.assign(bytes.begin(), bytes.end());
  s.stream = tessarine::arans::encode_stream(s.coefficient_bytes);
  return s;
}

template <class Stage>
void stage_bench(benchmark::State& state, std::string name, Stage stage) {
  const std::vector<float>* x = signal(name);
  const auto stages = x ? stages_of(*x) : std::nullopt;
  if (!stages) return state.SkipWithError(("cannot prepare " + name).c_str());
  for (auto _ : state) stage(*x, *stages);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * 4 * x->size()));
}

void register_stages(const std::string& name) {
  const auto add = [&](const char* stage, auto body) {
    benchmark::RegisterBenchmark(("stage/" + name + "/" + stage).c_str(),
                                 stage_bench<decltype(body)>, name, body)
        ->Unit(benchmark::kMillisecond);
  };
  add("normalize", [](const std::vector<float>& x, const Stages&) {
    std::vector<float> out(x.size());
    const auto range = tessarine::sanitize_and_range(x, out);
    benchmark::DoNotOptimize(tessarine::normalize(out, range));
  });
  add("forward_transform", [](const std::vector<float>&, const Stages& s) {
    benchmark::DoNotOptimize(s.transform->multi_dwt(s.normalized, s.levels));
  });
  add("quantize", [](const std::vector<float>&, const Stages& s) {
    std::vector<std::int16_t> q(s.coefficient_bytes.size() / 2);
    std::size_t at = 0;
    for (const auto& level : s.bands.levels) {
      tessarine::quantize_band(level.details, 11, 2,
                               std::span(q).subspan(at, level.details.size()));
      at += level.details.size();
    }
    benchmark::DoNotOptimize(q.data());
  });
  add("arans_encode", [](const std::vector<float>&, const Stages& s) {
    benchmark::DoNotOptimize(tessarine::arans::encode_stream(s.coefficient_bytes));
  });
  add("arans_decode", [](const std::vector<float>&, const Stages& s) {
    benchmark::DoNotOptimize(tessarine::arans::decode_stream(s.stream));
  });
  add("inverse_transform", [](const std::vector<float>&, const Stages& s) {
    vibrel::MultiDwtView<float> view;
    for (const auto& level : s.bands.levels) view.details.push_back(level.details);
    view.approximation = s.bands.levels.back().approximations;
    benchmark::DoNotOptimize(s.transform->multi_idwt(view));
  });
}

const bool kRegistered = [] {
  for (const char* name : kSignals) register_stages(name);
  for (const char* name : kSignals) {
    for (const Method method : {Method::Cdf97, Method::Cdf53, Method::Db4, Method::Sym4}) {
      for (const Coder coder : {Coder::Arans, Coder::Deflate}) {
        const CompressionOptions options{.method = method, .coder = coder};
        const std::string suffix = std::string(name) + "/" +
                                   std::string(tessarine::method_name(method)) + "/" +
                                   std::string(tessarine::coder_name(coder));
        benchmark::RegisterBenchmark(("compress/" + suffix).c_str(), compress_bench, name, options)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("decompress/" + suffix).c_str(), decompress_bench, name,
                                     options)
            ->Unit(benchmark::kMillisecond);
      }
    }
  }
  return true;
}();

}  // namespace
