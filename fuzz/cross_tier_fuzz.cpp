// libFuzzer target: every instruction-set tier must agree. The input is tried as a container
// (every tier gives the same error, or the same number of samples within rounding) and as a
// signal with options (the scalar tier's container is byte-identical each time it is made,
// and every tier decodes it alike).
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <span>
#include <vector>

#include "tier_servers.hpp"

namespace {

using tessarine::fuzz::Bytes;
using tessarine::fuzz::Reply;
using tessarine::fuzz::TierServer;

std::vector<TierServer> servers;  // scalar first

std::vector<float> floats_of(const Bytes& bytes) {
  std::vector<float> out(bytes.size() / sizeof(float));
  if (!out.empty()) std::memcpy(out.data(), bytes.data(), out.size() * sizeof(float));
  return out;
}

constexpr float kHalfMax = std::numeric_limits<float>::max() / 2;

// Near the top of the float range one tier's rounding may overflow where another's does not.
bool close(float a, float b, double tolerance) {
  if (a == b || (std::isnan(a) && std::isnan(b))) return true;
  if (std::isinf(a) || std::isinf(b)) {
    return std::signbit(a) == std::signbit(b) && std::abs(a) >= kHalfMax && std::abs(b) >= kHalfMax;
  }
  return std::abs(static_cast<double>(a) - b) <= tolerance;
}

// Tiers differ only in the rounding of their transforms: allow a few float32 steps of the
// largest finite magnitude either output reaches.
bool same_within_rounding(const Bytes& a, const Bytes& b) {
  const auto x = floats_of(a);
  const auto y = floats_of(b);
  if (x.size() != y.size()) return false;
  float largest = 0.0f;
  for (std::size_t i = 0; i < x.size(); ++i) {
    if (std::isfinite(x[i])) largest = std::max(largest, std::abs(x[i]));
    if (std::isfinite(y[i])) largest = std::max(largest, std::abs(y[i]));
  }
  const double tolerance = 256.0 * std::numeric_limits<float>::epsilon() * largest;
  for (std::size_t i = 0; i < x.size(); ++i) {
    if (!close(x[i], y[i], tolerance)) return false;
  }
  return true;
}

// Says which check failed before stopping, since the helpers' answers are gone afterwards.
[[noreturn]] void finding(const char* what, std::size_t tier) {
  std::fprintf(stderr, "cross-tier finding: %s (tier %zu against scalar)\n", what, tier);
  __builtin_trap();
}

void every_tier_decodes_alike(std::span<const std::uint8_t> container) {
  const Reply scalar = servers[0].ask('D', container);
  for (std::size_t t = 1; t < servers.size(); ++t) {
    const Reply other = servers[t].ask('D', container);
    if (other.ok != scalar.ok) finding("one tier fails where another decodes", t);
    if (!scalar.ok && other.bytes != scalar.bytes) finding("different messages", t);
    if (scalar.ok && !same_within_rounding(scalar.bytes, other.bytes)) {
      finding("samples differ beyond rounding", t);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (std::getenv("TESSARINE_TIER_SERVER") != nullptr) tessarine::fuzz::serve();
  __builtin_cpu_init();
  std::vector<const char*> caps{"scalar"};
  if (__builtin_cpu_supports("sse4.2")) caps.push_back("sse4.2");
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) caps.push_back("avx2");
  for (const char* cap : caps) {
    servers.emplace_back();
    if (!servers.back().start("/proc/self/exe", cap)) std::abort();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> in(data, size);
  every_tier_decodes_alike(in);
  const Reply made = servers[0].ask('C', in);
  if (!made.ok) return 0;
  if (servers[0].ask('C', in).bytes != made.bytes) finding("scalar containers differ", 0);
  every_tier_decodes_alike(made.bytes);
  return 0;
}
