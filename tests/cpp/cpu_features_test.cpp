#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "vibrel/cpu/cpu_features.hpp"
#include "vibrel/cpu/cpu_tier.hpp"

namespace vibrel {
namespace {

using namespace cpu_feature;

TEST(CpuFeatures, DetectedSetCarriesTheMarkerAndIsCached) {
  const std::uint32_t first = cpu_features();
  EXPECT_NE(first & kDetected, 0u);
  EXPECT_EQ(cpu_features(), first);
  // AVX2 and FMA are only reported with OS support for YMM state, which implies SSE4.2 on
  // every processor that has them.
  if ((first & kAvx2) != 0) {
    EXPECT_NE(first & kSse42, 0u);
  }
}

TEST(CpuFeatures, CapLowersButNeverRaises) {
  const std::uint32_t all = kDetected | kSse41 | kSse42 | kAvx2 | kFma;
  const std::uint32_t sse_only = kDetected | kSse41 | kSse42;
  struct Case {
    std::uint32_t features;
    const char* cap;
    std::uint32_t expected;
  };
  const Case cases[] = {
      {all, "scalar", kDetected},
      {all, "sse4.2", sse_only},
      {all, "avx2", all},
      {all, "", all},
      {all, "AVX2", all},  // unknown values are ignored
      {all, "sse4", all},
      {sse_only, "avx2", sse_only},
      {kDetected, "avx2", kDetected},
      {kDetected | kAvx2, "sse4.2", kDetected},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(cap_cpu_features(c.features, c.cap), c.expected) << c.cap;
  }
}

TEST(CpuFeatures, TiersFollowTheFeatureSet) {
  const std::uint32_t f = cpu_features();
  const bool avx = (f & kAvx2) != 0 && (f & kFma) != 0;
  EXPECT_EQ(has_avx_tier(), avx);
  EXPECT_EQ(has_sse_tier(), (f & kSse42) != 0);
  EXPECT_EQ(tier_supported(CpuTier::Avx), avx);
  EXPECT_TRUE(tier_supported(CpuTier::Scalar));
  const CpuTier expected = avx ? CpuTier::Avx : (has_sse_tier() ? CpuTier::Sse : CpuTier::Scalar);
  EXPECT_EQ(detected_tier(), expected);
}

// A detection fault that fell back to a lower tier would pass every other test: compare with
// the compiler's own query, which also checks that the OS saves the YMM state.
TEST(CpuFeatures, DetectionAgreesWithTheCompiler) {
  __builtin_cpu_init();
  const bool avx2 = __builtin_cpu_supports("avx2") != 0;
  const bool fma = __builtin_cpu_supports("fma") != 0;
  const bool sse42 = __builtin_cpu_supports("sse4.2") != 0;
  const bool sse41 = __builtin_cpu_supports("sse4.1") != 0;
  const std::uint32_t found = detect_cpu_features();
  EXPECT_EQ((found & kAvx2) != 0, avx2);
  EXPECT_EQ((found & kFma) != 0, fma);
  EXPECT_EQ((found & kSse42) != 0, sse42);
  EXPECT_EQ((found & kSse41) != 0, sse41);
  const char* cap = std::getenv("TESSARINE_CPU");
  if (cap != nullptr && *cap != 0) GTEST_SKIP() << "tier capped by TESSARINE_CPU";
  const CpuTier expected = avx2 && fma ? CpuTier::Avx : sse42 ? CpuTier::Sse : CpuTier::Scalar;
  EXPECT_EQ(detected_tier(), expected);
}

// Runs only inside the child started below; reports the tier it sees through its exit code.
TEST(CpuFeatures, ChildReportsTier) {
  const char* expected = std::getenv("TESSARINE_EXPECTED_TIER");
  if (expected == nullptr) GTEST_SKIP() << "only meaningful in the child process";
  const CpuTier want = std::string(expected) == "scalar" ? CpuTier::Scalar : CpuTier::Sse;
  EXPECT_EQ(detected_tier(), want);
}

int run_child_with_cap(const char* cap, const char* expected_tier) {
  const pid_t pid = fork();
  if (pid == 0) {
    setenv("TESSARINE_CPU", cap, 1);
    setenv("TESSARINE_EXPECTED_TIER", expected_tier, 1);
    execl("/proc/self/exe", "cpu_features_test", "--gtest_filter=CpuFeatures.ChildReportsTier",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(CpuFeatures, EnvironmentCapIsHonouredAtDetection) {
  EXPECT_EQ(run_child_with_cap("scalar", "scalar"), 0);
  if (!has_sse_tier()) GTEST_SKIP() << "CPU lacks SSE4.2";
  EXPECT_EQ(run_child_with_cap("sse4.2", "sse"), 0);
}

}  // namespace
}  // namespace vibrel
