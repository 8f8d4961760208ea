#include "vibrel/cpu/cpu_tier.hpp"

#include "vibrel/cpu/cpu_features.hpp"

namespace vibrel {

CpuTier detected_tier() {
  if (has_avx_tier()) return CpuTier::Avx;
  if (has_sse_tier()) return CpuTier::Sse;
  return CpuTier::Scalar;
}

bool tier_supported(CpuTier tier) {
  switch (tier) {
    case CpuTier::Avx:
      return has_avx_tier();
    case CpuTier::Sse:
      return has_sse_tier();
    case CpuTier::Scalar:
      return true;
  }
  return false;
}

}  // namespace vibrel
