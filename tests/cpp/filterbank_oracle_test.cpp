// Forward coefficients of the scalar filter banks against PyWavelets' pywt.dwt, for every
// Daubechies and Symlet order, every border mode and several lengths. The golden bands come
// from scripts/gen_filterbank_reference.py, which also documents the mode correspondences;
// pywt's cA and cD equal our bands element for element (same order, same sign).

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "vibrel/tables/daubechies.hpp"
#include "vibrel/filter_bank/filter_banks.hpp"
#include "vibrel/tables/symlet.hpp"

namespace vibrel {
namespace {

struct OracleCase {
  std::string family;
  std::size_t order = 0;
  std::string mode;
  std::size_t n = 0;
  std::size_t m = 0;
  std::size_t offset = 0;
};

std::string data_path(const std::string& name) {
  return std::string(TESSARINE_TEST_DATA_DIR) + "/" + name;
}

std::vector<OracleCase> read_index() {
  std::ifstream in(data_path("filterbank_oracle_index.txt"));
  std::vector<OracleCase> cases;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    OracleCase c;
    fields >> c.family >> c.order >> c.mode >> c.n >> c.m >> c.offset;
    if (fields) cases.push_back(c);
  }
  return cases;
}

std::vector<f32> read_bands() {
  std::ifstream in(data_path("filterbank_oracle.f32"), std::ios::binary | std::ios::ate);
  const std::streamsize bytes = in.tellg();
  std::vector<f32> values(bytes > 0 ? static_cast<std::size_t>(bytes) / sizeof(f32) : 0);
  in.seekg(0);
  in.read(reinterpret_cast<char*>(values.data()), static_cast<std::streamsize>(values.size() * 4));
  return values;
}

// The generator's signal: multiples of 1/256 from a 31-bit LCG, exact in float32.
std::vector<f32> test_signal(std::size_t n) {
  std::uint64_t state = 20240613;
  std::vector<f32> x(n);
  for (f32& v : x) {
    state = (state * 1103515245u + 12345u) % (std::uint64_t{1} << 31);
    v = static_cast<f32>(
        static_cast<double>(static_cast<std::int64_t>((state >> 8) % 2001) - 1000) / 256.0);
  }
  return x;
}

BorderMode parse_mode(const std::string& name) {
  static const std::map<std::string, BorderMode> kModes = {{"Clamp", BorderMode::Clamp},
                                                           {"Wrap", BorderMode::Wrap},
                                                           {"Reflect", BorderMode::Reflect},
                                                           {"Reflect101", BorderMode::Reflect101},
                                                           {"Constant", BorderMode::Constant}};
  return kModes.at(name);
}

// The factory's path: the f64 table rounded to f32.
std::vector<f32> f32_taps(const OracleCase& c) {
  const std::span<const double> table =
      c.family == "db" ? daubechies_taps(static_cast<DaubechiesWavelet>(c.order - 1))
                       : symlet_taps(static_cast<SymletWavelet>(c.order - 2));
  return std::vector<f32>(table.begin(), table.end());
}

// The dedicated scalar executor for N, if there is one.
std::unique_ptr<IncompleteDwtExecutor<f32>> fixed_executor(BorderMode mode,
                                                           std::span<const f32> taps) {
  switch (taps.size()) {
    case 2:
      return std::make_unique<Wavelet2Taps>(mode, taps);
    case 4:
      return std::make_unique<Wavelet4Taps>(mode, taps);
    case 6:
      return std::make_unique<Wavelet6Taps>(mode, taps);
    case 8:
      return std::make_unique<Wavelet8Taps>(mode, taps);
    case 10:
      return std::make_unique<Wavelet10Taps>(mode, taps);
    case 12:
      return std::make_unique<Wavelet12Taps>(mode, taps);
    case 16:
      return std::make_unique<Wavelet16Taps>(mode, taps);
    default:
      return nullptr;
  }
}

// Rounding of the taps to f32 and of N products and sums, relative to sum |h| * max |x|.
double tolerance(std::span<const f32> taps) {
  double abs_sum = 0.0;
  for (f32 h : taps) abs_sum += std::fabs(h);
  const double max_sample = 1000.0 / 256.0;
  return static_cast<double>(taps.size() + 2) * std::ldexp(1.0, -24) * abs_sum * max_sample;
}

// Returns the number of coefficients outside the tolerance (reporting the first few).
int count_mismatches(const IncompleteDwtExecutor<f32>& executor, const OracleCase& c,
                     std::span<const f32> expected, double tol, const char* which) {
  const std::vector<f32> x = test_signal(c.n);
  std::vector<f32> approx(c.m);
  std::vector<f32> details(c.m);
  const VibrelResult<void> done = executor.execute_forward(x, approx, details);
  if (!done) {
    ADD_FAILURE() << which << " failed: " << done.error().display();
    return 1;
  }
  int mismatches = 0;
  for (std::size_t i = 0; i < 2 * c.m; ++i) {
    const f32 got = i < c.m ? approx[i] : details[i - c.m];
    if (std::fabs(static_cast<double>(got) - expected[i]) <= tol) continue;
    if (++mismatches <= 3) {
      ADD_FAILURE() << which << " " << c.family << c.order << " " << c.mode << " n=" << c.n
                    << (i < c.m ? " approx[" : " details[") << (i % c.m) << "] = " << got
                    << ", pywt " << expected[i];
    }
  }
  return mismatches;
}

TEST(FilterBankOracle, ScalarExecutorsMatchPywtForEveryWaveletModeAndLength) {
  const std::vector<OracleCase> cases = read_index();
  const std::vector<f32> bands = read_bands();
  // 24 Daubechies + 19 Symlet orders, 5 modes, 6 lengths.
  ASSERT_EQ(cases.size(), 43u * 5u * 6u) << "golden index missing or truncated";
  std::size_t fixed_cases = 0;
  for (const OracleCase& c : cases) {
    ASSERT_LE(c.offset + 2 * c.m, bands.size());
    const std::vector<f32> taps = f32_taps(c);
    ASSERT_EQ(taps.size(), 2 * c.order) << c.family << c.order;
    const BorderMode mode = parse_mode(c.mode);
    const std::span<const f32> expected(bands.data() + c.offset, 2 * c.m);
    const double tol = tolerance(taps);
    const WaveletNTaps generic(mode, taps);
    ASSERT_EQ(count_mismatches(generic, c, expected, tol, "WaveletNTaps"), 0);
    if (const auto fixed = fixed_executor(mode, taps)) {
      ++fixed_cases;
      ASSERT_EQ(count_mismatches(*fixed, c, expected, tol, "fixed"), 0);
    }
  }
  // db1..db6 and db8, sym2..sym6 and sym8 have a dedicated executor.
  EXPECT_EQ(fixed_cases, 13u * 5u * 6u);
}

}  // namespace
}  // namespace vibrel
