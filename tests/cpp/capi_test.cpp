// The C API: round trips, size queries, and that every failure is a status, never a throw.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "capi/tessarine.h"

namespace {

template <class T>
std::vector<T> wave(std::size_t n, double amplitude) {
  std::vector<T> out(n);
  for (std::size_t i = 0; i < n; ++i) {
    out[i] = static_cast<T>(amplitude * std::sin(0.01 * static_cast<double>(i)) + amplitude);
  }
  return out;
}

std::vector<std::uint8_t> compress_frame(const void* samples, std::size_t n, tessarine_dtype dtype,
                                         const tessarine_bound& bound) {
  std::vector<std::uint8_t> frame(tessarine_frame_compress_bound(dtype, n));
  std::size_t written = 0;
  EXPECT_EQ(tessarine_frame_compress(samples, n, dtype, &bound, 2, frame.data(), frame.size(),
                                     &written),
            TESSARINE_OK)
      << tessarine_last_error();
  frame.resize(written);
  return frame;
}

template <class T>
void expect_round_trip(tessarine_dtype dtype, double max_error) {
  const auto samples = wave<T>(5000, 100.0);
  const tessarine_bound bound{TESSARINE_BOUND_MAX_ERROR, max_error, 0, 0};
  const auto frame = compress_frame(samples.data(), samples.size(), dtype, bound);
  tessarine_frame_header header{};
  ASSERT_EQ(tessarine_frame_info(frame.data(), frame.size(), &header), TESSARINE_OK);
  EXPECT_EQ(header.dtype, dtype);
  EXPECT_EQ(header.sample_count, samples.size());
  EXPECT_EQ(header.bound.flags, TESSARINE_BOUND_MAX_ERROR);
  EXPECT_EQ(header.bound.max_error, max_error);
  std::vector<T> back(samples.size());
  std::size_t written = 0;
  ASSERT_EQ(tessarine_frame_decompress(frame.data(), frame.size(), 1, back.data(),
                                       back.size() * sizeof(T), &written),
            TESSARINE_OK);
  EXPECT_EQ(written, back.size() * sizeof(T));
  for (std::size_t i = 0; i < samples.size(); ++i) {
    ASSERT_LE(std::abs(static_cast<double>(back[i]) - static_cast<double>(samples[i])), max_error);
  }
}

TEST(CapiFrame, RoundTripsEveryDtypeWithinItsBound) {
  expect_round_trip<float>(TESSARINE_FLOAT32, 1e-3);
  expect_round_trip<double>(TESSARINE_FLOAT64, 1e-6);
  expect_round_trip<std::int8_t>(TESSARINE_INT8, 0.0);
  expect_round_trip<std::int16_t>(TESSARINE_INT16, 2.0);
  expect_round_trip<std::int32_t>(TESSARINE_INT32, 0.4);
  expect_round_trip<std::int64_t>(TESSARINE_INT64, 3.0);
  expect_round_trip<std::uint8_t>(TESSARINE_UINT8, 1.0);
  expect_round_trip<std::uint16_t>(TESSARINE_UINT16, 0.0);
  expect_round_trip<std::uint32_t>(TESSARINE_UINT32, 5.0);
  expect_round_trip<std::uint64_t>(TESSARINE_UINT64, 0.0);
}

TEST(CapiFrame, CompressBoundHoldsForIncompressibleBlockedInput) {
  std::vector<std::uint8_t> noise((std::size_t{1} << 20) + 7);
  std::mt19937 random(7);
  for (auto& byte : noise) byte = static_cast<std::uint8_t>(random());
  const tessarine_bound exact{TESSARINE_BOUND_MAX_ERROR, 0.0, 0, 0};
  std::vector<std::uint8_t> frame(tessarine_frame_compress_bound(TESSARINE_UINT8, noise.size()));
  std::size_t written = 0;
  ASSERT_EQ(tessarine_frame_compress(noise.data(), noise.size(), TESSARINE_UINT8, &exact, 1,
                                     frame.data(), frame.size(), &written),
            TESSARINE_OK);
  // Too small by one byte: the status says so and reports the size needed.
  std::size_t needed = 0;
  EXPECT_EQ(tessarine_frame_compress(noise.data(), noise.size(), TESSARINE_UINT8, &exact, 1,
                                     frame.data(), written - 1, &needed),
            TESSARINE_ERROR_BUFFER_TOO_SMALL);
  EXPECT_EQ(needed, written);
  std::vector<std::uint8_t> back(noise.size() - 1);
  EXPECT_EQ(tessarine_frame_decompress(frame.data(), written, 1, back.data(), back.size(), &needed),
            TESSARINE_ERROR_BUFFER_TOO_SMALL);
  EXPECT_EQ(needed, noise.size());
  EXPECT_EQ(tessarine_frame_compress_bound(static_cast<tessarine_dtype>(99), 10), 0u);
}

TEST(CapiFrame, RefusesBadArguments) {
  const float samples[4] = {1, 2, 3, 4};
  std::uint8_t out[256];
  std::size_t written = 0;
  const tessarine_bound bad_bounds[] = {
      {0, 0, 0, 0},
      {TESSARINE_BOUND_MAX_ERROR, -1.0, 0, 0},
      {TESSARINE_BOUND_MAX_ERROR, NAN, 0, 0},
      {TESSARINE_BOUND_REL_ERROR, 0, 0.0, 0},
      {TESSARINE_BOUND_PSNR, 0, 0, INFINITY},
      {8, 0, 0, 0},
  };
  for (const auto& bound : bad_bounds) {
    EXPECT_EQ(tessarine_frame_compress(samples, 4, TESSARINE_FLOAT32, &bound, 1, out, sizeof out,
                                       &written),
              TESSARINE_ERROR_ARGUMENT);
  }
  const tessarine_bound good{TESSARINE_BOUND_PSNR, 0, 0, 40.0};
  EXPECT_EQ(tessarine_frame_compress(samples, 4, static_cast<tessarine_dtype>(0), &good, 1, out,
                                     sizeof out, &written),
            TESSARINE_ERROR_ARGUMENT);
  EXPECT_EQ(std::string(tessarine_last_error()), "unknown dtype 0");
  EXPECT_EQ(tessarine_frame_compress(nullptr, 4, TESSARINE_FLOAT32, &good, 1, out, sizeof out,
                                     &written),
            TESSARINE_ERROR_ARGUMENT);
  EXPECT_EQ(tessarine_frame_compress(samples, 4, TESSARINE_FLOAT32, &good, 1, out, sizeof out,
                                     nullptr),
            TESSARINE_ERROR_ARGUMENT);
  EXPECT_EQ(tessarine_frame_info(nullptr, 0, nullptr), TESSARINE_ERROR_ARGUMENT);
}

TEST(CapiFrame, DamageIsReportedNeverDecoded) {
  const auto samples = wave<float>(3000, 1.0);
  auto frame = compress_frame(samples.data(), samples.size(), TESSARINE_FLOAT32,
                              {TESSARINE_BOUND_MAX_ERROR, 1e-4, 0, 0});
  std::vector<float> back(samples.size());
  std::size_t written = 0;
  auto flipped = frame;
  flipped[flipped.size() / 2] ^= 0x10;
  EXPECT_EQ(tessarine_frame_decompress(flipped.data(), flipped.size(), 1, back.data(),
                                       back.size() * 4, &written),
            TESSARINE_ERROR_DAMAGED);
  EXPECT_NE(std::string(tessarine_last_error()).find("damaged"), std::string::npos);
  EXPECT_EQ(tessarine_frame_decompress(frame.data(), 20, 1, back.data(), back.size() * 4, &written),
            TESSARINE_ERROR_DAMAGED);
  auto version_1 = frame;
  version_1[4] = 1;
  tessarine_frame_header header{};
  EXPECT_EQ(tessarine_frame_info(version_1.data(), version_1.size(), &header),
            TESSARINE_ERROR_UNSUPPORTED);
}

TEST(CapiContainer, RoundTripsAndSizes) {
  const auto samples = wave<float>(10000, 1.0);
  const auto settings = tessarine_container_defaults();
  std::vector<std::uint8_t> container(tessarine_container_compress_bound(samples.size()));
  std::size_t written = 0;
  ASSERT_EQ(tessarine_container_compress(samples.data(), samples.size(), &settings,
                                         container.data(), container.size(), &written),
            TESSARINE_OK);
  std::uint64_t count = 0;
  ASSERT_EQ(tessarine_container_sample_count(container.data(), written, &count), TESSARINE_OK);
  EXPECT_EQ(count, samples.size());
  std::vector<float> back(samples.size());
  ASSERT_EQ(tessarine_container_decompress(container.data(), written, back.data(), back.size(),
                                           &count),
            TESSARINE_OK);
  for (std::size_t i = 0; i < samples.size(); ++i) ASSERT_NEAR(back[i], samples[i], 0.01);
  EXPECT_EQ(tessarine_container_decompress(container.data(), written, back.data(), 10, &count),
            TESSARINE_ERROR_BUFFER_TOO_SMALL);
  EXPECT_EQ(count, samples.size());
  container[0] = 'X';
  EXPECT_EQ(tessarine_container_decompress(container.data(), written, back.data(), back.size(),
                                           &count),
            TESSARINE_ERROR_DAMAGED);
}

TEST(CapiContainer, CompressBoundHoldsOnWhiteNoiseForEverySetting) {
  std::vector<float> noise(20000);
  std::mt19937 random(3);
  std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
  for (auto& x : noise) x = uniform(random);
  const std::size_t bound = tessarine_container_compress_bound(noise.size());
  std::vector<std::uint8_t> out(bound);
  for (unsigned method = 0; method <= TESSARINE_SYM4; ++method) {
    for (unsigned coder = 0; coder <= TESSARINE_CODER_ARANS; ++coder) {
      const tessarine_container_settings settings{static_cast<tessarine_method>(method), 12,
                                                  TESSARINE_CUTOFF_LOW,
                                                  static_cast<tessarine_coder>(coder)};
      std::size_t written = 0;
      EXPECT_EQ(tessarine_container_compress(noise.data(), noise.size(), &settings, out.data(),
                                             out.size(), &written),
                TESSARINE_OK)
          << method << " " << coder << " needs " << written << " of " << bound;
    }
  }
}

TEST(CapiContainer, RefusesBadSettings) {
  const float samples[16] = {};
  std::uint8_t out[512];
  std::size_t written = 0;
  tessarine_container_settings settings = tessarine_container_defaults();
  settings.scale = 13;
  EXPECT_EQ(tessarine_container_compress(samples, 16, &settings, out, sizeof out, &written),
            TESSARINE_ERROR_ARGUMENT);
  settings = tessarine_container_defaults();
  settings.method = static_cast<tessarine_method>(4);
  EXPECT_EQ(tessarine_container_compress(samples, 16, &settings, out, sizeof out, &written),
            TESSARINE_ERROR_ARGUMENT);
  settings = tessarine_container_defaults();
  EXPECT_EQ(tessarine_container_compress(samples, 0, &settings, out, sizeof out, &written),
            TESSARINE_ERROR_ARGUMENT);
}

TEST(CapiStatus, TextsAndLastErrorPerThread) {
  EXPECT_EQ(tessarine_version_number(), unsigned{TESSARINE_VERSION_NUMBER});
  for (int status = TESSARINE_OK; status <= TESSARINE_ERROR_INTERNAL; ++status) {
    EXPECT_STRNE(tessarine_status_text(status), tessarine_status_text(-1));
  }
  EXPECT_STREQ(tessarine_status_text(1000), "unknown status");
  std::size_t written = 0;
  EXPECT_EQ(tessarine_frame_decompress("junk", 4, 1, nullptr, 0, &written), TESSARINE_ERROR_DAMAGED);
  std::string other_thread = "unset";
  std::thread([&] { other_thread = tessarine_last_error(); }).join();
  EXPECT_EQ(other_thread, "");
  EXPECT_NE(std::string(tessarine_last_error()), "");
  const float one = 1.0f;
  const tessarine_bound bound{TESSARINE_BOUND_MAX_ERROR, 0.1, 0, 0};
  std::uint8_t out[128];
  ASSERT_EQ(tessarine_frame_compress(&one, 1, TESSARINE_FLOAT32, &bound, 1, out, sizeof out, &written),
            TESSARINE_OK);
  EXPECT_STREQ(tessarine_last_error(), "");  // a success clears the stale detail
}

}  // namespace
