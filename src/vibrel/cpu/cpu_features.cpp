#include "vibrel/cpu/cpu_features.hpp"

#include <atomic>
#include <cpuid.h>
#include <cstdlib>

namespace vibrel {
namespace {

std::atomic<std::uint32_t> g_features{0};

struct CpuidRegisters {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
};

CpuidRegisters cpuid(unsigned leaf, unsigned subleaf) {
  CpuidRegisters r;
  __cpuid_count(leaf, subleaf, r.eax, r.ebx, r.ecx, r.edx);
  return r;
}

// XCR0 through XGETBV; only valid once OSXSAVE says the instruction is enabled.
std::uint64_t read_xcr0() {
  std::uint32_t low = 0, high = 0;
  __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
  return (std::uint64_t{high} << 32) | low;
}

bool bit(unsigned value, unsigned index) { return ((value >> index) & 1u) != 0; }

}  // namespace

std::uint32_t detect_cpu_features() {
  std::uint32_t features = cpu_feature::kDetected;
  const unsigned max_leaf = cpuid(0, 0).eax;
  if (max_leaf == 0) return features;
  const CpuidRegisters leaf1 = cpuid(1, 0);
  if (bit(leaf1.ecx, 19)) features |= cpu_feature::kSse41;
  if (bit(leaf1.ecx, 20)) features |= cpu_feature::kSse42;
  const bool os_saves_ymm = bit(leaf1.ecx, 26) && bit(leaf1.ecx, 27) && (read_xcr0() & 0x6) == 0x6;
  if (os_saves_ymm) {
    if (max_leaf >= 7 && bit(cpuid(7, 0).ebx, 5)) features |= cpu_feature::kAvx2;
    if (bit(leaf1.ecx, 12)) features |= cpu_feature::kFma;
  }
  return features;
}

std::uint32_t cap_cpu_features(std::uint32_t features, std::string_view cap) {
  if (cap == "scalar") {
    return features & ~(cpu_feature::kSse41 | cpu_feature::kSse42 | cpu_feature::kAvx2 |
                        cpu_feature::kFma);
  }
  if (cap == "sse4.2") return features & ~(cpu_feature::kAvx2 | cpu_feature::kFma);
  return features;
}

std::uint32_t cpu_features() {
  std::uint32_t features = g_features.load(std::memory_order_relaxed);
  if (features == 0) {
    const char* cap = std::getenv("TESSARINE_CPU");
    features = cap_cpu_features(detect_cpu_features(), cap ? cap : "");
    // Concurrent first callers compute and store the same value.
    g_features.store(features, std::memory_order_relaxed);
  }
  return features;
}

bool has_avx_tier() {
  constexpr std::uint32_t kBoth = cpu_feature::kAvx2 | cpu_feature::kFma;
  return (cpu_features() & kBoth) == kBoth;
}
bool has_sse_tier() { return (cpu_features() & cpu_feature::kSse42) != 0; }
bool has_avx2() { return (cpu_features() & cpu_feature::kAvx2) != 0; }
bool has_sse41() { return (cpu_features() & cpu_feature::kSse41) != 0; }

}  // namespace vibrel
