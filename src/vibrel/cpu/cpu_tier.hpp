#pragma once

namespace vibrel {

// The implementation families an executor can be built from.
enum class CpuTier { Scalar, Sse, Avx };

// The best tier this process may use (after the TESSARINE_CPU cap), decided once.
[[nodiscard]] CpuTier detected_tier();

// Whether the running processor can execute code of `tier` (tests skip tiers it lacks).
[[nodiscard]] bool tier_supported(CpuTier tier);

}  // namespace vibrel
