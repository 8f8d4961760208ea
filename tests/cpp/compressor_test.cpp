#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "codec/compressor.hpp"
#include "codec/container.hpp"
#include "codec/header.hpp"
#include "codec/levels.hpp"
#include "codec/payload_encoder.hpp"
#include "codec/raw_deflate.hpp"
#include "codec/transform.hpp"
#include "entropy/arans.hpp"

namespace tessarine {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr Method kMethods[] = {Method::Cdf53, Method::Cdf97, Method::Db4, Method::Sym4};
constexpr float kInf = std::numeric_limits<float>::infinity();

Bytes compressed(std::span<const float> samples, CompressionOptions options = {}) {
  auto out = compress(samples, options);
  EXPECT_TRUE(out) << out.error().display();
  return out ? *out : Bytes{};
}

TessarineHeader header_of(const Bytes& container) {
  return TessarineHeader::from_bytes(container).value();
}

std::span<const std::uint8_t> payload_of(const Bytes& container) {
  return std::span(container).subspan(kHeaderSize);
}

// The stored 16-bit coefficients, decoded with the coder the header names.
std::vector<std::int16_t> coefficients_of(const Bytes& container) {
  const TessarineHeader h = header_of(container);
  const Bytes bytes = h.coder == 0  // the format's byte for raw DEFLATE
                          ? inflate_raw(payload_of(container), std::size_t{1} << 32).value()
                          : arans::decode_stream(payload_of(container)).value();
  std::vector<std::int16_t> q(bytes.size() / 2);
  for (std::size_t i = 0; i < q.size(); ++i) {
    q[i] = static_cast<std::int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  }
  return q;
}

std::vector<float> smooth_signal(std::size_t n) {
  std::vector<float> x(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / 50.0;
    x[i] = static_cast<float>(3.0 * std::sin(t) + std::cos(0.31 * t) - 7.0);
  }
  return x;
}

std::string error_of(std::span<const float> samples, CompressionOptions options = {}) {
  const auto out = compress(samples, options);
  return out ? std::string("ok") : out.error().display();
}

TEST(Compress, SizeLimits) {
  EXPECT_EQ(error_of({}), "Unsupported compression configuration 'Can't compress empty data'");
  // A reserved, never-touched mapping stands in for 2^31 samples: the size is checked first.
  const std::size_t n = std::size_t{1} << 31;
  void* region = mmap(nullptr, n * sizeof(float), PROT_READ,
                      MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  ASSERT_NE(region, MAP_FAILED);
  EXPECT_EQ(error_of(std::span(static_cast<const float*>(region), n)),
            "Unsupported compression configuration 'Can't compress data bigger than "
            "2147483647, but data was 2147483648'");
  munmap(region, n * sizeof(float));
}

TEST(Compress, RefusesOptionsOutsideTheirRanges) {
  const std::vector<float> x = smooth_signal(50);
  EXPECT_EQ(error_of(x, {.scale = 5}), "Only scaled 6..12 is supported, but it was 5");
  EXPECT_EQ(error_of(x, {.scale = 13}), "Only scaled 6..12 is supported, but it was 13");
  EXPECT_EQ(error_of(x, {.method = static_cast<Method>(4)}),
            "Unsupported compression configuration 'Unknown method code 4'");
  EXPECT_EQ(error_of(x, {.coder = static_cast<Coder>(3)}),
            "Unsupported compression configuration 'Unknown coder code 3'");
}

TEST(Compress, RefusesARangeThatOverflowsFloat) {
  const float big = std::numeric_limits<float>::max();
  const std::vector<float> x{-big, 0.0f, big};
  EXPECT_EQ(error_of(x),
            "Unsupported compression configuration 'Can't compress data whose range "
            "(max - min) exceeds the largest 32-bit float'");
  // The largest finite range still compresses, with finite header values.
  const std::vector<float> y{0.0f, big, 1.0f};
  const TessarineHeader h = header_of(compressed(y));
  EXPECT_EQ(h.max, big);
  EXPECT_TRUE(std::isfinite(h.mean));
}

TEST(Compress, HeaderFieldsAndLength) {
  for (const Method method : kMethods) {
    for (const Coder coder : {Coder::Deflate, Coder::Arans}) {
      const std::vector<float> x = smooth_signal(1234);
      const Bytes c = compressed(x, {.method = method, .scale = 9, .coder = coder});
      const TessarineHeader h = header_of(c);
      EXPECT_EQ(h.method, method_code(method));
      EXPECT_EQ(h.scale, 9);
      EXPECT_EQ(h.coder, coder == Coder::Deflate ? 0 : 1);  // the format's coder bytes
      EXPECT_EQ(h.sample_count, 1234u);
      EXPECT_EQ(h.version, kVersion);
      EXPECT_EQ(h.reserved_byte, 0);
      EXPECT_EQ(h.reserved, (std::array<std::uint8_t, 16>{}));
      EXPECT_EQ(c.size(), kHeaderSize + h.payload_len);
      EXPECT_EQ(h.min, *std::min_element(x.begin(), x.end()));
      EXPECT_EQ(h.max, *std::max_element(x.begin(), x.end()));
    }
  }
}

TEST(Compress, LevelCountsForEveryMethod) {
  for (const Method method : kMethods) {
    const std::size_t f = make_transform(method)->filter_length();
    struct Case {
      std::size_t n;
      std::uint32_t levels;
    };
    const Case cases[] = {{19, 1},
                          {20, 2},
                          {39, 2},
                          {40, 3},
                          {59, 3},
                          {60, 4},
                          {79, 4},
                          {80, compute_max_levels(80, f)},
                          {5000, compute_max_levels(5000, f)}};
    for (const Case& c : cases) {
      const std::vector<float> x = smooth_signal(c.n);
      EXPECT_EQ(header_of(compressed(x, {.method = method})).levels, c.levels)
          << method_name(method) << " " << c.n;
    }
  }
}

TEST(Compress, FlatSignalsGiveZeroCoefficients) {
  for (const Method method : kMethods) {
    for (const std::size_t n : {1u, 7u, 100u, 1000u}) {
      const std::vector<float> x(n, 5.0f);
      const Bytes c = compressed(x, {.method = method});
      const TessarineHeader h = header_of(c);
      EXPECT_EQ(h.min, 5.0f);
      EXPECT_EQ(h.max, 5.0f);
      EXPECT_EQ(h.mean, 0.0f);
      const auto q = coefficients_of(c);
      EXPECT_FALSE(q.empty());
      EXPECT_TRUE(std::all_of(q.begin(), q.end(), [](std::int16_t v) { return v == 0; }));
    }
  }
}

TEST(Compress, NonFiniteSamplesAreSanitised) {
  const std::vector<float> nan_in{std::numeric_limits<float>::quiet_NaN(), 1.0f, 2.0f};
  const std::vector<float> clean{0.0f, 1.0f, 2.0f};
  EXPECT_EQ(compressed(nan_in), compressed(clean));
  const std::vector<float> inf_in{kInf, -kInf};
  const std::vector<float> inf_clean{1.0f, 0.0f};
  const Bytes c = compressed(inf_in);
  EXPECT_EQ(c, compressed(inf_clean));
  EXPECT_EQ(header_of(c).min, 0.0f);
  EXPECT_EQ(header_of(c).max, 1.0f);
}

TEST(Compress, SingleSampleIsOneLevelOfItsPeriodicExtension) {
  const std::vector<float> x{3.25f};
  const Bytes c = compressed(x, {.method = Method::Cdf53});
  const TessarineHeader h = header_of(c);
  EXPECT_EQ(h.levels, 1);
  EXPECT_EQ(h.sample_count, 1u);
  EXPECT_EQ(h.mean, 0.0f);
  EXPECT_EQ(h.min, 3.25f);
  // Six samples (the filter length) give three approximation and three detail coefficients.
  EXPECT_EQ(coefficients_of(c), std::vector<std::int16_t>(6, 0));
}

TEST(Compress, ShortSignalsAreExtendedPeriodically) {
  // Two samples repeated to ten equal the ten-sample signal spelled out (whose mean is the
  // same, so the normalised samples agree too).
  const std::vector<float> x{-2.0f, 6.0f};
  const std::vector<float> spelled{-2, 6, -2, 6, -2, 6, -2, 6, -2, 6};
  const auto a = coefficients_of(compressed(x, {.method = Method::Cdf97}));
  const auto b = coefficients_of(compressed(spelled, {.method = Method::Cdf97}));
  EXPECT_EQ(a, b);
}

TEST(Compress, CutoffOnlyActsFromScaleEight) {
  const std::vector<float> x = smooth_signal(3000);
  for (const std::uint8_t scale : {6, 7}) {
    const Bytes low = compressed(x, {.scale = scale, .cutoff = Cutoff::Low});
    EXPECT_EQ(compressed(x, {.scale = scale, .cutoff = Cutoff::Medium}), low);
    EXPECT_EQ(compressed(x, {.scale = scale, .cutoff = Cutoff::High}), low);
  }
  // At scale 12 the High dead zone removes every detail of magnitude 1..20.
  std::vector<float> noisy = smooth_signal(3000);
  for (std::size_t i = 0; i < noisy.size(); ++i) noisy[i] += 0.002f * static_cast<float>(i % 7);
  const auto count_small = [](const std::vector<std::int16_t>& q, std::size_t from) {
    return std::count_if(q.begin() + static_cast<std::ptrdiff_t>(from), q.end(),
                         [](std::int16_t v) { return v != 0 && v >= -20 && v <= 20; });
  };
  const Bytes high = compressed(noisy, {.scale = 12, .cutoff = Cutoff::High});
  const Bytes low = compressed(noisy, {.scale = 12, .cutoff = Cutoff::Low});
  const auto layout = band_layout(*make_transform(Method::Cdf97), 3000, header_of(high).levels);
  const std::size_t approximation = layout.back().approximation_length;
  EXPECT_EQ(count_small(coefficients_of(high), approximation), 0);
  EXPECT_GT(count_small(coefficients_of(low), approximation), 0);
}

TEST(Compress, AutoIsAransAndDeflateInflatesToTwoBytesPerCoefficient) {
  for (const Method method : kMethods) {
    for (const std::size_t n : {1u, 33u, 4097u}) {
      const std::vector<float> x = smooth_signal(n);
      EXPECT_EQ(compressed(x, {.method = method, .coder = Coder::Auto}),
                compressed(x, {.method = method, .coder = Coder::Arans}));
      const Bytes c = compressed(x, {.method = method, .coder = Coder::Deflate});
      const TessarineHeader h = header_of(c);
      EXPECT_EQ(h.coder, 0);
      const auto executor = make_transform(method);
      const std::size_t length = std::max(n, executor->filter_length());
      const auto layout = band_layout(*executor, length, h.levels);
      EXPECT_EQ(inflate_raw(payload_of(c), std::size_t{1} << 32).value().size(),
                2 * coefficient_count(layout));
    }
  }
}

TEST(PayloadLimits, RefusesWhatTheFormatCannotDescribe) {
  // Reserved, never-touched mappings stand in for huge inputs: sizes are checked first.
  const std::size_t arans_limit = arans::kMaxStreamInputBytes;
  const std::size_t too_long = std::size_t{1} << 32;
  void* region =
      mmap(nullptr, too_long + 1, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  ASSERT_NE(region, MAP_FAILED);
  const auto* bytes = static_cast<const std::uint8_t*>(region);
  const auto refused = encode_payload(std::span(bytes, arans_limit + 1), Coder::Arans);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().display(),
            "Unsupported compression configuration 'Can't code 536870914 coefficient bytes with "
            "the arans coder, the most it takes is 536870913; use the deflate coder'");
  const auto container = assemble_container({}, std::span(bytes, too_long));
  ASSERT_FALSE(container);
  EXPECT_EQ(container.error().display(),
            "Unsupported compression configuration 'Can't store a payload of 4294967296 bytes, "
            "a container describes at most 4294967295'");
  munmap(region, too_long + 1);
}

}  // namespace
}  // namespace tessarine
