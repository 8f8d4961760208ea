#pragma once

#include <cstddef>

#include "vibrel/kernel/filter_bank_layout.hpp"

namespace vibrel {

// The instruction sets the kernels are built for, as tags that code without SIMD flags may
// name: the factory builds KernelFilterBank<FixedTapsKernel<avx::Avx2FmaSet, 8>> from a plain
// file, and the tier it detected decides which tag it names. A tag carries only what such
// code must know: whether the kernels fuse multiply-adds and how an executor record lays out
// its taps. The operations themselves are VectorOps<Set>, specialised in sse/vector_ops.hpp
// and avx/vector_ops.hpp, which only the files built with that tier's flags include.
template <std::size_t kLaneCount, bool kFusedMultiplyAdd>
struct InstructionSet {
  static constexpr bool kFused = kFusedMultiplyAdd;
  [[nodiscard]] static consteval TapLayout tap_layout(std::size_t taps) {
    return tap_layout_for_lanes(kLaneCount, taps);
  }
};

struct ScalarSet : InstructionSet<0, false> {};
namespace sse {
// SSE4.2: 4 lanes, no fused multiply-add.
struct Sse42Set : InstructionSet<4, false> {};
}  // namespace sse
namespace avx {
// AVX2 with FMA: 8 lanes; the kernels fuse where a formula says so.
struct Avx2FmaSet : InstructionSet<8, true> {};
}  // namespace avx

// The operations the shared kernel templates are written in, one specialisation per set.
template <class Set>
struct VectorOps;

// The scalar set has no registers: kLanes == 0 tells the templates to run their plain loops.
template <>
struct VectorOps<ScalarSet> {
  static constexpr std::size_t kLanes = 0;
};

}  // namespace vibrel
