#pragma once

#include <cstddef>
#include <cstdint>

#include "vibrel/kernel/sample.hpp"

namespace vibrel {

// The register operations that work lane by lane, written once for every SIMD set with GCC's
// vector extensions: `a + b` on two vector registers is what GCC's own headers define
// _mm_add_ps and _mm256_add_ps as, so each tier compiles them to its usual instructions. A
// set's VectorOps derives from this with its register types and adds what needs intrinsics,
// and keeps its own broadcast and first-lane read of indices, which written this way let GCC
// lay out the arena writer differently.
// Only the tier files instantiate it (Set names the tier), so it is compiled with their flags
// and each tier gets its own symbols.
template <class Set, std::size_t kRegisterBytes>
struct LaneWiseOps {
  // The set's register types: __m256 and __m256i for 32 bytes, __m128 and __m128i for 16.
  typedef f32 Reg __attribute__((vector_size(kRegisterBytes), may_alias));
  typedef long long Index __attribute__((vector_size(kRegisterBytes), may_alias));
  static constexpr std::size_t kLanes = kRegisterBytes / sizeof(f32);

  static Reg load(const f32* p) { return *reinterpret_cast<const UnalignedReg*>(p); }
  static void store(f32* p, Reg v) { *reinterpret_cast<UnalignedReg*>(p) = v; }
  static Reg mul(Reg a, Reg b) { return a * b; }
  static Reg add(Reg a, Reg b) { return a + b; }

  // Index holds 32-bit arena indices.
  static Index index_load(const std::int32_t* aligned) {
    return *reinterpret_cast<const Index*>(aligned);
  }
  static Index index_add(Index a, Index b) { return Index(Lanes32(a) + Lanes32(b)); }
  static Index index_sub(Index a, Index b) { return Index(Lanes32(a) - Lanes32(b)); }
  static Index index_xor(Index a, Index b) { return Index(Lanes64(a) ^ Lanes64(b)); }

 private:
  // Samples at any address, as the intrinsics' unaligned loads and stores read them.
  typedef f32 UnalignedReg __attribute__((vector_size(kRegisterBytes), may_alias, aligned(1)));
  // Index lanes as unsigned values, so that sums wrap; bitwise operations take 64-bit lanes.
  typedef std::uint32_t Lanes32 __attribute__((vector_size(kRegisterBytes)));
  typedef std::uint64_t Lanes64 __attribute__((vector_size(kRegisterBytes)));
};

}  // namespace vibrel
