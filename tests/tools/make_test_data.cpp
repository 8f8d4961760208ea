// Writes the stored test data from real codec output: golden containers with their decoded
// samples, malformed containers with the exact message each gives, and the fuzzers' seed
// corpora. Run it on the scalar tier (TESSARINE_CPU=scalar) from the repository root:
//   build/release/make_test_data examples/data/ecg_mitbih100_mlii_60s.npy
// Rerun only on purpose: a change to what it writes is a change to the format.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "codec/compressor.hpp"
#include "codec/decompressor.hpp"
#include "codec/header.hpp"
#include "codec/payload_coders.hpp"
#include "codec/options.hpp"

namespace {

using namespace tessarine;
using Bytes = std::vector<std::uint8_t>;

void save(const std::string& path, const void* data, std::size_t size) {
  std::ofstream(path, std::ios::binary)
      .write(static_cast<const char*>(data), static_cast<long>(size));
}

void save(const std::string& path, const Bytes& b) {
  save(path, b.data(), b.size());
}

std::vector<float> load_npy(const std::string& path, std::size_t count) {
  std::ifstream f(path, std::ios::binary);
  const std::vector<char> all((std::istreambuf_iterator<char>(f)), {});
  const std::size_t header =
      10 + (static_cast<unsigned char>(all[8]) | static_cast<unsigned char>(all[9]) << 8);
  std::vector<float> x(count);
  std::memcpy(x.data(), all.data() + header, count * sizeof(float));
  return x;
}

void put_u32(Bytes& c, std::size_t at, std::uint32_t v) {
  for (int k = 0; k < 4; ++k) c[at + k] = static_cast<std::uint8_t>(v >> (8 * k));
}

Bytes signal_seed(const CompressionOptions& o, const std::vector<float>& x) {
  Bytes seed(4 + x.size() * sizeof(float));
  seed[0] = static_cast<std::uint8_t>(o.method);
  seed[1] = static_cast<std::uint8_t>(o.scale - kMinScale);
  seed[2] = static_cast<std::uint8_t>(o.cutoff);
  seed[3] = static_cast<std::uint8_t>(o.coder);
  std::memcpy(seed.data() + 4, x.data(), x.size() * sizeof(float));
  return seed;
}

Bytes write_goldens(const std::vector<float>& ecg) {
  const std::vector<std::pair<std::string, std::vector<float>>> signals = {
      {"ecg256", ecg},
      {"short5", {0.5f, -1.0f, 2.0f, 0.25f, 1.5f}},
      {"flat64", std::vector<float>(64, 2.5f)}};
  for (const Method method : {Method::Cdf53, Method::Cdf97, Method::Db4, Method::Sym4}) {
    for (const PayloadCoder& entry : kPayloadCoders) {
      const Coder coder = entry.coder;
      for (const auto& [kind, x] : signals) {
        const CompressionOptions o{.method = method, .coder = coder};
        const Bytes c = compress(x, o).value();
        const std::vector<float> y = decompress(c).value();
        const std::string name =
            std::string(method_name(method)) + "_" + std::string(coder_name(coder)) + "_" + kind;
        save("tests/data/golden/" + name + ".tsrn", c);
        save("tests/data/golden/" + name + ".f32", y.data(), y.size() * sizeof(float));
        save("fuzz/corpus/decompress/" + name, c);
        save("fuzz/corpus/cross_tier/" + name, c);
        save("fuzz/corpus/roundtrip/" + name, signal_seed(o, x));
        save("fuzz/corpus/cross_tier/signal_" + name, signal_seed(o, x));
        if (coder == Coder::Arans)
          save("fuzz/corpus/decode_stream/" + name, Bytes(c.begin() + kHeaderSize, c.end()));
      }
    }
  }
  return compress(ecg, {.coder = Coder::Arans}).value();
}

void write_error(const std::string& name, const Bytes& c) {
  const auto out = decompress(c);
  if (out) {
    std::fprintf(stderr, "%s decodes\n", name.c_str());
    return;
  }
  const std::string text = out.error().display() + "\n";
  save("tests/data/golden_errors/" + name + ".tsrn", c);
  save("tests/data/golden_errors/" + name + ".txt", text.data(), text.size());
  save("fuzz/corpus/decompress/error_" + name, c);
}

Bytes with_payload(Bytes c, const Bytes& payload) {
  c.resize(kHeaderSize);
  put_u32(c, 32, static_cast<std::uint32_t>(payload.size()));
  c.insert(c.end(), payload.begin(), payload.end());
  return c;
}

// A layout no encoder writes: more levels than the samples allow, so the size rule's max(..., 2)
// binds. The header is edited by hand on a container of the same coefficient count.
Bytes relayered(const std::vector<float>& x, Method method, std::uint32_t n, std::uint8_t levels) {
  Bytes c = compress(x, {.method = method, .coder = Coder::Deflate}).value();
  put_u32(c, 16, n);
  c[12] = levels;
  return c;
}

// Hand-made layouts that still decode; the output is the scalar tier's.
void write_edges(const std::vector<float>& ecg) {
  const std::vector<float> nine(ecg.begin(), ecg.begin() + 9);
  const Bytes c = relayered(nine, Method::Cdf53, 8, 3);  // bands 2 + 1 give 3 samples for 2
  const std::vector<float> y = decompress(c).value();
  save("tests/data/golden_edges/cdf53_levels_beyond_the_signal.tsrn", c);
  save("tests/data/golden_edges/cdf53_levels_beyond_the_signal.f32", y.data(),
       y.size() * sizeof(float));
}

void write_errors(const Bytes& rans, const Bytes& deflate) {
  auto changed = [](Bytes c, std::size_t at, std::uint8_t v) {
    c[at] = v;
    return c;
  };
  auto with_u32 = [](Bytes c, std::size_t at, std::uint32_t v) {
    put_u32(c, at, v);
    return c;
  };
  write_error("too_short", Bytes(rans.begin(), rans.begin() + 51));
  write_error("magic", changed(rans, 0, 'X'));
  write_error("magic_not_utf8", changed(rans, 0, 0xFF));
  write_error("version", changed(rans, 4, 2));
  write_error("format_tag", changed(rans, 7, '4'));
  write_error("method", changed(rans, 11, '9'));
  write_error("scale", changed(rans, 13, 13));
  write_error("coder", changed(rans, 14, 2));
  write_error("min_nan", with_u32(rans, 20, 0x7FC00000u));
  write_error("range_overflows", with_u32(with_u32(rans, 20, 0xFF7FFFFFu), 24, 0x7F7FFFFFu));
  write_error("sample_count", with_u32(rans, 16, 2147483648u));
  write_error("levels_0", changed(rans, 12, 0));
  write_error("levels_11", changed(rans, 12, 11));
  write_error("payload_short", Bytes(rans.begin(), rans.end() - 1));
  write_error("rans_context_9",
              with_payload(rans, {0x00, 0x09, 0x03, 0x06, 0, 0, 0, 0, 0, 0, 0, 0}));
  write_error("rans_cut_plane",
              with_payload(rans, Bytes(rans.begin() + kHeaderSize, rans.end() - 2)));
  write_error("rans_claims_2_28_pairs", with_payload(rans, {0x00, 0x08, 0x80, 0x80, 0x80, 0x80,
                                                            0x01, 0x04, 1, 2, 3, 4, 5, 6, 7, 8}));
  write_error("deflate_read_as_rans", changed(deflate, 14, 1));
  write_error("deflate_corrupt", with_payload(deflate, {0xFF, 0xFF, 0xFF, 0xFF}));
  write_error("too_few_coefficients", with_u32(rans, 16, 400));
}

void write_layout_errors(const std::vector<float>& ecg) {
  const std::vector<float> eleven(ecg.begin(), ecg.begin() + 11);
  // Bands 2 + 2 reconstruct 4 samples where the next level needs 3.
  write_error("cf97_levels_beyond_the_signal", relayered(eleven, Method::Cdf97, 10, 3));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::vector<float> ecg = load_npy(argv[1], 256);
  const Bytes rans = write_goldens(ecg);
  const Bytes deflate = compress(ecg, {.coder = Coder::Deflate}).value();
  write_errors(rans, deflate);
  write_layout_errors(ecg);
  write_edges(ecg);
  return 0;
}
