#pragma once

#include <cstdint>
#include <string_view>

namespace vibrel {

// Processor features the engine dispatches on, detected once per process and cached in one
// relaxed atomic word. The marker bit keeps a detected set non-zero, so zero means "not
// detected yet".
namespace cpu_feature {
inline constexpr std::uint32_t kSse41 = 1u << 0;
inline constexpr std::uint32_t kSse42 = 1u << 1;
inline constexpr std::uint32_t kAvx2 = 1u << 2;  // only with OS support for YMM state
inline constexpr std::uint32_t kFma = 1u << 3;   // only with OS support for YMM state
inline constexpr std::uint32_t kDetected = 1u << 31;
}  // namespace cpu_feature

// Features of the running processor and OS, before any cap.
[[nodiscard]] std::uint32_t detect_cpu_features();

// Applies the TESSARINE_CPU cap: "scalar", "sse4.2" or "avx2" lower the usable set; any other
// value (or none) leaves it unchanged. A cap never adds a feature.
[[nodiscard]] std::uint32_t cap_cpu_features(std::uint32_t features, std::string_view cap);

// Detected, capped and cached on first use; later calls are one relaxed load.
[[nodiscard]] std::uint32_t cpu_features();

// Executors: AVX tier = AVX2 and FMA; SSE tier = SSE4.2.
[[nodiscard]] bool has_avx_tier();
[[nodiscard]] bool has_sse_tier();
// Single features, for callers that need one instruction rather than a tier.
[[nodiscard]] bool has_avx2();
[[nodiscard]] bool has_sse41();

}  // namespace vibrel
