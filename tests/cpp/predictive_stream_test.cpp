#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <span>
#include <vector>

#include "predictive/bounded_stream.hpp"
#include "predictive/half_float.hpp"

namespace tessarine::predictive {
namespace {

__extension__ using Quad = __float128;
__extension__ using Int128 = __int128;

// An IEEE half, by its bits.
struct Half {
  std::uint16_t bits;
};

// A float sample as a double (exact for every width).
template <class T>
double as_double(T v) {
  if constexpr (std::is_same_v<T, Half>) return half_to_double(v.bits);
  else return static_cast<double>(v);
}

template <class T>
SampleType type_of() {
  if constexpr (std::is_same_v<T, Half>) return {'f', 2};
  else if constexpr (std::is_floating_point_v<T>) return {'f', sizeof(T)};
  else return {std::is_signed_v<T> ? 'i' : 'u', sizeof(T)};
}

template <class T>
std::vector<T> decode_all(const EncodedStream& s, SampleType type, std::size_t n) {
  std::vector<T> out(n);
  const auto done = decode_stream(s.bytes, type, n, std::as_writable_bytes(std::span(out)));
  EXPECT_TRUE(done.has_value()) << done.error().display();
  return out;
}

bool finite_bits(std::uint64_t raw, SampleType type) {
  if (!type.is_float()) return true;
  if (type.size == 2) return (raw & 0x7C00u) != 0x7C00u;
  if (type.size == 4) return (raw & 0x7F800000u) != 0x7F800000u;
  return (raw & 0x7FF0000000000000u) != 0x7FF0000000000000u;
}

// Encodes, decodes and checks every sample: finite floats within the bound in (quad-exact for
// these inputs) arithmetic, integers within floor(bound) (exactly equal below 1), non-finite
// and lossless ones bit for bit; the reported error matches what was decoded.
template <class T>
void expect_round_trip(const std::vector<T>& x, double bound) {
  const SampleType type = type_of<T>();
  const SampleView view{reinterpret_cast<const std::byte*>(x.data()), x.size(), sizeof(T), type};
  const auto encoded = encode_stream(view, bound);
  ASSERT_TRUE(encoded.has_value()) << encoded.error().display();
  const std::vector<T> y = decode_all<T>(*encoded, type, x.size());
  double max_error = 0.0;
  std::size_t finite = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    std::uint64_t xr = 0, yr = 0;
    std::memcpy(&xr, &x[i], sizeof(T));
    std::memcpy(&yr, &y[i], sizeof(T));
    if (!finite_bits(xr, type) || (type.is_float() && bound == 0.0) || (!type.is_float() && bound < 1.0)) {
      ASSERT_EQ(xr, yr) << "sample " << i << " of " << x.size();
    }
    if (!finite_bits(xr, type)) continue;
    ++finite;
    if constexpr (std::is_integral_v<T>) {
      const Int128 d = static_cast<Int128>(x[i]) - static_cast<Int128>(y[i]);
      ASSERT_LE(d < 0 ? -d : d, static_cast<Int128>(std::floor(std::min(bound, 0x1p100)))) << "sample " << i;
      max_error = std::max(max_error, std::fabs(static_cast<double>(d)));
    } else {
      const Quad d = static_cast<Quad>(as_double(x[i])) - static_cast<Quad>(as_double(y[i]));
      ASSERT_TRUE((d < 0 ? -d : d) <= static_cast<Quad>(bound)) << "sample " << i << " of " << x.size();
      max_error = std::max(max_error, std::fabs(as_double(x[i]) - as_double(y[i])));
    }
  }
  EXPECT_EQ(encoded->finite_count, finite);
  EXPECT_EQ(encoded->max_abs_error, max_error);
}

// Smooth waves, a random walk and noise, scaled to `scale`.
std::vector<double> signal(std::size_t n, double scale, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::normal_distribution<double> noise(0.0, 1.0);
  std::vector<double> x(n);
  double walk = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    walk += noise(rng) * 0.01;
    const double t = static_cast<double>(i);
    const double part = i / 5000 % 3;  // switch character every 5000 samples
    x[i] = scale * (part == 0 ? std::sin(t * 0.01) : part == 1 ? walk : 0.3 * noise(rng));
  }
  return x;
}

template <class T>
std::vector<T> converted(const std::vector<double>& x) {
  std::vector<T> out;
  for (double v : x) out.push_back(static_cast<T>(v));
  return out;
}

std::vector<Half> halves(const std::vector<double>& x) {
  std::vector<Half> out;
  for (double v : x) out.push_back({double_to_half(v)});
  return out;
}

const std::size_t kLengths[] = {1023, 1025, 65535, 65536, 65537, 140000};

TEST(PredictiveStream, FloatsStayWithinTheBoundAtEveryLengthAndChunkEdge) {
  for (double bound : {0.0, 1e-6, 1e-3, 0.2, 3.0}) {
    for (std::size_t n = 0; n <= 100; ++n) {
      expect_round_trip(converted<float>(signal(n, 1.0, n)), bound);
      expect_round_trip(converted<double>(signal(n, 1.0, n)), bound);
      expect_round_trip(halves(signal(n, 1.0, n)), bound);
    }
    for (std::size_t n : kLengths) {
      const auto x = signal(n, 50.0, n);
      expect_round_trip(converted<float>(x), bound);
      expect_round_trip(converted<double>(x), bound);
      expect_round_trip(halves(x), bound);
    }
  }
}

TEST(PredictiveStream, MagnitudesFromDenormalToHugeAndBoundsBelowResolution) {
  for (double scale : {1e-300, 1e-40, 1e-5, 1e8, 1e30, 1e37, 1e300}) {
    const auto x = signal(20000, scale, 7);
    for (double relative : {1e-3, 1e-9, 1e-20}) {
      expect_round_trip(converted<double>(x), scale * relative);
      if (scale < 3e38 && scale > 1e-44) expect_round_trip(converted<float>(x), scale * relative);
      if (scale < 6e4 && scale > 1e-7) expect_round_trip(halves(x), scale * relative);
    }
  }
  // The largest finite values: predictions overflow, rounding to the type leaves the bound.
  for (double top : {65504.0, 3.4028234663852886e38, std::numeric_limits<double>::max()}) {
    std::vector<double> x;
    for (int i = 0; i < 3000; ++i) x.push_back((i % 7 < 4 ? 1 : -1) * top * (1.0 - (i % 5) * 1e-3));
    expect_round_trip(converted<double>(x), top * 1e-4);
    if (top < 1e39) expect_round_trip(converted<float>(x), top * 1e-4);
    if (top < 1e5) expect_round_trip(halves(x), top * 1e-4);
  }
}

TEST(PredictiveStream, SpecialFloatsComeBackBitForBit) {
  const std::uint32_t singles[] = {0x80000000u, 0x7FC00000u, 0x7FA00001u, 0xFFC12345u, 0x7F800000u,
                                   0xFF800000u, 0x00000001u, 0x807FFFFFu, 0x7F7FFFFFu, 0x3F800000u};
  const std::uint64_t doubles[] = {0x8000000000000000u, 0x7FF0000000000001u, 0xFFF8DEADBEEF0000u,
                                   0x7FF0000000000000u, 0x0000000000000001u, 0x7FEFFFFFFFFFFFFFu};
  const std::uint16_t half_bits[] = {0x8000u, 0x7C01u, 0xFE37u, 0x7C00u, 0xFC00u, 0x0001u, 0x83FFu, 0x7BFFu};
  for (double bound : {0.0, 1e-3, 1.0}) {
    for (std::size_t repeat : {1u, 700u}) {  // alone and spread over blocks with smooth samples
      std::vector<float> f;
      std::vector<double> d;
      std::vector<Half> h;
      for (std::size_t r = 0; r < repeat; ++r) {
        for (auto b : singles) f.push_back(std::bit_cast<float>(b)), f.push_back(0.001f * static_cast<float>(r));
        for (auto b : doubles) d.push_back(std::bit_cast<double>(b)), d.push_back(0.5 * static_cast<double>(r));
        for (auto b : half_bits) h.push_back({b}), h.push_back({double_to_half(0.01 * static_cast<double>(r))});
      }
      expect_round_trip(f, bound);
      expect_round_trip(d, bound);
      expect_round_trip(h, bound);
    }
  }
}

template <class T>
std::vector<T> integer_signal(std::size_t n, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::vector<T> x(n);
  constexpr T lo = std::numeric_limits<T>::min();
  constexpr T hi = std::numeric_limits<T>::max();
  for (std::size_t i = 0; i < n; ++i) {
    switch (i / 3000 % 3) {
      case 0:  // any value, extremes included
        x[i] = i % 5 == 0 ? (i % 2 ? lo : hi) : static_cast<T>(rng());
        break;
      case 1:  // smooth around the middle of the range
        x[i] = static_cast<T>(static_cast<double>(lo) / 2 + static_cast<double>(hi) / 2 +
                              static_cast<double>(hi) * 0.4 * std::sin(static_cast<double>(i) * 0.003));
        break;
      default:  // hugging the top
        x[i] = static_cast<T>(hi - static_cast<T>(rng() % 4));
    }
  }
  return x;
}

template <class T>
void expect_integer_round_trips() {
  for (double bound : {0.0, 0.99, 1.0, 2.5, 1000.0, 1e30}) {
    for (std::size_t n : {0u, 1u, 2u, 3u, 5u, 99u}) expect_round_trip(integer_signal<T>(n, n), bound);
    for (std::size_t n : {65537u, 20000u}) expect_round_trip(integer_signal<T>(n, 3), bound);
  }
}

TEST(PredictiveStream, IntegersAreExactBelowOneAndBinnedWithinTheBoundAbove) {
  expect_integer_round_trips<std::int8_t>();
  expect_integer_round_trips<std::uint8_t>();
  expect_integer_round_trips<std::int16_t>();
  expect_integer_round_trips<std::uint16_t>();
  expect_integer_round_trips<std::int32_t>();
  expect_integer_round_trips<std::uint32_t>();
  expect_integer_round_trips<std::int64_t>();
  expect_integer_round_trips<std::uint64_t>();
}

// ADC codes times a gain, plus an offset: chunks take bins of whole grid steps. Samples off
// the grid (here outside the blocks the grid is judged on) still keep the bound.
TEST(PredictiveStream, SamplesOnAGridKeepTheBound) {
  for (double offset : {0.0, 0.0123}) {
    std::vector<double> x = signal(140000, 1.0, 13);
    for (double& v : x) v = offset + std::round(v * 200.0) / 200.0;
    for (std::size_t i = 1500; i < x.size(); i += 8192) x[i] += 0.001;  // off the grid
    for (double bound : {1e-6, 1e-4, 0.004, 0.0051, 0.02}) {
      expect_round_trip(converted<float>(x), bound);
      expect_round_trip(x, bound);
    }
    const auto encoded = encode_stream({reinterpret_cast<const std::byte*>(x.data()), x.size(), 8, {'f', 8}}, 1e-4);
    ASSERT_TRUE(encoded.has_value());
    EXPECT_EQ(encoded->bytes[11], 1);  // the first chunk's quantiser: on a grid
  }
}

// Integers using every g-th code are coded as indices on that grid, exactly or in bins.
template <class T>
void expect_grid_round_trips(T origin, std::uint64_t spacing) {
  const auto base = integer_signal<std::int8_t>(70000, 17);
  std::vector<T> x;
  for (std::int8_t v : base) {
    x.push_back(static_cast<T>(static_cast<std::uint64_t>(origin) + static_cast<std::uint64_t>(v + 128) * spacing));
  }
  for (double bound : {0.0, 1.0, 7.0, 40.0, 1e25}) expect_round_trip(x, bound);
  const auto encoded = encode_stream({reinterpret_cast<const std::byte*>(x.data()), x.size(), sizeof(T), type_of<T>()}, 0.0);
  ASSERT_TRUE(encoded.has_value());
  std::uint64_t stored = 0;  // the first chunk's spacing, after its layout and origin
  std::memcpy(&stored, encoded->bytes.data() + 19, 8);
  EXPECT_EQ(stored, spacing);
}

TEST(PredictiveStream, IntegersOnAGridAreCodedAsIndices) {
  expect_grid_round_trips<std::int16_t>(-1000, 16);
  expect_grid_round_trips<std::uint16_t>(5, 15);
  expect_grid_round_trips<std::int32_t>(-7, 3);
  expect_grid_round_trips<std::int64_t>(std::numeric_limits<std::int64_t>::min(), std::uint64_t{1} << 55);
  expect_grid_round_trips<std::uint64_t>(12345, (~std::uint64_t{0} - 12345) / 255);
}

// Resonant signals take the chunk's linear predictor; it stays exact at the types' extremes.
TEST(PredictiveStream, LinearPredictionIsLossless) {
  std::mt19937_64 rng(23);
  std::normal_distribution<double> noise(0.0, 1.0);
  std::vector<std::int16_t> x(70000);
  double a = 0.0, b = 0.0;
  for (auto& v : x) {
    const double next = 1.9 * a - 0.95 * b + 300.0 * noise(rng);  // a damped resonance
    b = a;
    a = next;
    v = static_cast<std::int16_t>(std::clamp(next, -32768.0, 32767.0));
  }
  expect_round_trip(x, 0.0);
  const auto encoded = encode_stream({reinterpret_cast<const std::byte*>(x.data()), x.size(), 2, {'i', 2}}, 0.0);
  ASSERT_TRUE(encoded.has_value());
  EXPECT_EQ(encoded->bytes[10], 4);  // the first chunk's layout: the predictor in segments
  std::vector<std::byte> out(x.size() * 2);
  for (std::size_t at = 10; at < 70; ++at) {  // the chunk header: grid, filter, level, counts
    for (unsigned flip : {1u, 0x80u, 0xFFu}) {
      auto damaged = encoded->bytes;
      damaged[at] ^= static_cast<std::uint8_t>(flip);
      (void)decode_stream(damaged, {'i', 2}, x.size(), out);
    }
  }
  // A short chunk keeps the predictor in one piece, where restarts would cost more than they save.
  const std::vector<std::int16_t> head(x.begin(), x.begin() + 1500);
  expect_round_trip(head, 0.0);
  const auto short_one = encode_stream(
      {reinterpret_cast<const std::byte*>(head.data()), head.size(), 2, {'i', 2}}, 0.0);
  ASSERT_TRUE(short_one.has_value());
  EXPECT_EQ(short_one->bytes[10], 3);
  // Unsigned values above 2^15 (no grid) and 8-bit ones decode through the 64-bit loop.
  std::vector<std::uint16_t> offset;
  std::vector<std::int8_t> narrow;
  for (std::int16_t v : x) {
    offset.push_back(static_cast<std::uint16_t>(v + 32768));
    narrow.push_back(static_cast<std::int8_t>(v / 256));
  }
  expect_round_trip(offset, 0.0);
  expect_round_trip(narrow, 0.0);
  std::vector<std::uint32_t> extremes(5000);
  for (std::size_t i = 0; i < extremes.size(); ++i) extremes[i] = (i / 3) % 2 ? 0xFFFFFFFFu : 0u;
  expect_round_trip(extremes, 0.0);
  std::vector<float> floats;
  for (std::int16_t v : x) floats.push_back(static_cast<float>(v) * 0.37f);
  expect_round_trip(floats, 0.0);
}

TEST(PredictiveStream, AnyStrideReadsTheSameSamples) {
  const auto x = converted<float>(signal(3000, 1.0, 11));
  const SampleType type{'f', 4};
  const auto forward = encode_stream({reinterpret_cast<const std::byte*>(x.data()), x.size(), 4, type}, 1e-3);
  std::vector<float> reversed(x.rbegin(), x.rend());
  const auto backward = encode_stream(
      {reinterpret_cast<const std::byte*>(reversed.data() + reversed.size() - 1), x.size(), -4, type}, 1e-3);
  ASSERT_TRUE(forward && backward);
  EXPECT_EQ(forward->bytes, backward->bytes);
  const auto constant = encode_stream({reinterpret_cast<const std::byte*>(x.data() + 5), 70000, 0, type}, 1e-3);
  ASSERT_TRUE(constant.has_value());
  for (float v : decode_all<float>(*constant, type, 70000)) ASSERT_LE(std::fabs(double(v) - double(x[5])), 1e-3);
}

TEST(PredictiveStream, SmoothSignalsAtLooseBoundsTakeInterpolation) {
  std::vector<double> x(65536);
  for (std::size_t i = 0; i < x.size(); ++i) x[i] = std::sin(static_cast<double>(i) * 0.002);
  const auto encoded = encode_stream({reinterpret_cast<const std::byte*>(x.data()), x.size(), 8, {'f', 8}}, 1e-2);
  ASSERT_TRUE(encoded.has_value());
  const std::uint8_t layout = encoded->bytes[10];  // after the 10-byte stream header
  EXPECT_TRUE(layout == 1 || layout == 2);
  expect_round_trip(x, 1e-2);
}

TEST(PredictiveStream, BadArgumentsAreRefused) {
  const float x[2] = {1, 2};
  const SampleView view{reinterpret_cast<const std::byte*>(x), 2, 4, {'f', 4}};
  for (double bound : {-1.0, std::nan(""), std::numeric_limits<double>::infinity()}) {
    EXPECT_EQ(encode_stream(view, bound).error().kind(), PredictiveError::Kind::BadArgument);
  }
  EXPECT_FALSE(encode_stream({view.data, 2, 4, {'f', 3}}, 0.1).has_value());
  EXPECT_FALSE(encode_stream({view.data, 2, 4, {'c', 4}}, 0.1).has_value());
  const auto encoded = encode_stream(view, 0.1);
  ASSERT_TRUE(encoded.has_value());
  std::vector<std::byte> out(7);
  EXPECT_EQ(decode_stream(encoded->bytes, {'f', 4}, 2, out).error().kind(), PredictiveError::Kind::BadArgument);
  out.resize(8);
  EXPECT_FALSE(decode_stream(encoded->bytes, {'i', 4}, 2, out).has_value());  // mode does not fit the type
  auto longer = encoded->bytes;
  longer.push_back(0);
  EXPECT_FALSE(decode_stream(longer, {'f', 4}, 2, out).has_value());
}

// Damaged streams give an error or some samples, never a read or write out of bounds (run
// under AddressSanitizer); truncations are always noticed.
TEST(PredictiveStream, DamagedStreamsAreRefusedOrDecodeSafely) {
  struct Case {
    SampleType type;
    double bound;
    bool on_grid = false;  // low byte zero: a grid of 256
  };
  const Case cases[] = {{{'f', 4}, 1e-3}, {{'f', 2}, 1e-2}, {{'f', 8}, 0.0}, {{'i', 2}, 0.0},
                        {{'u', 8}, 3.0}, {{'i', 4}, 2.0}, {{'f', 4}, 1e-30}, {{'u', 2}, 0.0, true},
                        {{'i', 8}, 300.0, true}, {{'i', 2}, 5.0, true},
                        {{'f', 8}, 1e-3, true}};
  std::mt19937_64 rng(5);
  for (const Case& c : cases) {
    std::vector<std::uint8_t> raw(1500 * c.type.size);
    for (std::size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<std::uint8_t>(i % 7 == 0 ? rng() : i / 97);
    if (c.type.is_float()) {  // finite floats, so the lossy path codes most of them
      for (std::size_t i = c.type.size - 1; i < raw.size(); i += c.type.size) raw[i] &= 0x3F;
    }
    if (c.on_grid && c.type.is_float()) {  // multiples of 1/64 between 1 and 2
      for (std::size_t i = 0; i < raw.size(); i += 8) {
        const double v = 1.0 + static_cast<double>(raw[i] % 64) / 64.0;
        std::memcpy(&raw[i], &v, 8);
      }
    } else if (c.on_grid) {
      for (std::size_t i = 0; i < raw.size(); i += c.type.size) raw[i] = 0;
    }
    const std::size_t n = raw.size() / c.type.size;
    const auto encoded = encode_stream({reinterpret_cast<const std::byte*>(raw.data()), n, c.type.size, c.type}, c.bound);
    ASSERT_TRUE(encoded.has_value());
    const auto& bytes = encoded->bytes;
    if (c.on_grid && c.type.is_float()) EXPECT_EQ(bytes[11], 1);  // the quantiser: on a grid
    std::vector<std::byte> out(raw.size());
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
      EXPECT_FALSE(decode_stream(std::span(bytes).first(cut), c.type, n, out).has_value()) << cut;
    }
    for (int trial = 0; trial < 3000; ++trial) {
      auto damaged = bytes;
      for (int flips = 1 + static_cast<int>(rng() % 3); flips > 0; --flips) {
        damaged[rng() % damaged.size()] ^= static_cast<std::uint8_t>(1 + rng() % 255);
      }
      (void)decode_stream(damaged, c.type, n, out);
    }
  }
}

}  // namespace
}  // namespace tessarine::predictive
