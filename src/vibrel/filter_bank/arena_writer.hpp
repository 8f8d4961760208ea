#pragma once

#include <cstddef>
#include <span>

#include "vibrel/cpu/cpu_tier.hpp"
#include "vibrel/error.hpp"
#include "vibrel/kernel/border_mode.hpp"
#include "vibrel/kernel/filter_bank_kernels.hpp"
#include "vibrel/kernel/sample.hpp"

namespace vibrel {

// Writes a padded arena: `pad_left` extension samples, the signal, then `pad_right`
// extension samples, each extension sample being what its position reads under `mode`.
// The arena must hold exactly pad_left + signal.size() + pad_right samples; any other size
// is a caller bug, answered with ScratchSizeMismatch (required, given) and no write.
// An empty signal has no samples to extend, so its pads are zero-filled.
using ArenaWriter1d = void (*)(const f32* signal, std::size_t length, f32* arena,
                               std::size_t pad_left, std::size_t pad_right, BorderMode mode);

// The checked entry with the writer of a given tier.
[[nodiscard]] VibrelResult<void> write_arena_1d(ArenaWriter1d writer, std::span<const f32> signal,
                                                std::span<f32> arena, std::size_t pad_left,
                                                std::size_t pad_right, BorderMode mode);
// The checked entry with the writer of this processor's tier.
[[nodiscard]] VibrelResult<void> write_arena_1d(std::span<const f32> signal, std::span<f32> arena,
                                                std::size_t pad_left, std::size_t pad_right,
                                                BorderMode mode);

// Each tier's writer, as its generic filter-bank kernel defines it; all three write identical
// arenas. They trust their arguments. The SSE and AVX ones may run only on their tier.
inline constexpr ArenaWriter1d write_arena_1d_impl = &NTapsKernel<ScalarSet>::write_arena;
namespace sse {
inline constexpr ArenaWriter1d write_arena_1d_sse4_1 = &NTapsKernel<Sse42Set>::write_arena;
}  // namespace sse
namespace avx {
inline constexpr ArenaWriter1d write_arena_1d_avx = &NTapsKernel<Avx2FmaSet>::write_arena;
}  // namespace avx

[[nodiscard]] ArenaWriter1d arena_writer_for_tier(CpuTier tier);

// The writer of detected_tier(), chosen on the first call and kept for the life of the
// process.
[[nodiscard]] ArenaWriter1d make_arena_writer_1d_executor();

}  // namespace vibrel
