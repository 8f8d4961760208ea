#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "predictive/bounded_stream.hpp"
#include "predictive/scratch.hpp"

namespace tessarine::predictive {
namespace {

std::vector<std::uint8_t> coded(const std::vector<double>& samples, double max_error) {
  const SampleView view{reinterpret_cast<const std::byte*>(samples.data()), samples.size(), 8, {'f', 8}};
  return encode_stream(view, max_error)->bytes;
}

// Reused buffers hold what earlier calls left there: nothing may depend on it.
TEST(PredictiveScratch, ReusedBuffersNeverChangeTheBytes) {
  std::vector<double> smooth(100000), rough(100000);
  for (std::size_t i = 0; i < smooth.size(); ++i) {
    smooth[i] = std::sin(0.001 * static_cast<double>(i));
    rough[i] = std::fmod(static_cast<double>(i * i % 7919) * 1e-3, 3.0) - 1.5;
  }
  const auto first = coded(smooth, 1e-4);
  EXPECT_NE(coded(rough, 0.0), first);
  EXPECT_NE(coded(rough, 0.5), first);
  EXPECT_EQ(coded(smooth, 1e-4), first);
}

TEST(PredictiveScratch, AThreadKeepsFewAndSmallBuffers) {
  ScratchCache cache;
  for (int i = 0; i < 6; ++i) cache.give_back(std::make_unique<std::byte[]>(64), 64);
  cache.give_back(std::make_unique<std::byte[]>(16), ScratchCache::kLargest + 1);
  std::size_t kept = 0;
  for (std::size_t bytes = 64; cache.take(bytes); bytes = 64) ++kept;
  EXPECT_EQ(kept, ScratchCache::kKept);
  std::size_t wanted = 65;
  cache.give_back(std::make_unique<std::byte[]>(64), 64);
  EXPECT_FALSE(cache.take(wanted));  // too small for the request
}

}  // namespace
}  // namespace tessarine::predictive
