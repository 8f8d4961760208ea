#pragma once

#include <cstddef>
#include <span>

#include "vibrel/kernel/border_mode.hpp"
#include "vibrel/dwt.hpp"
#include "vibrel/error.hpp"

namespace vibrel {

// Writes a padded arena: `pad_left` extension samples, the signal, then `pad_right`
// extension samples, each extension sample being what its position reads under `mode`.
// The arena must hold exactly pad_left + signal.size() + pad_right samples; any other size
// is a caller bug, answered with ScratchSizeMismatch (required, given) and no write.
// An empty signal has no samples to extend, so its pads are zero-filled.
[[nodiscard]] VibrelResult<void> write_arena_1d(std::span<const f32> signal, std::span<f32> arena,
                                                std::size_t pad_left, std::size_t pad_right,
                                                BorderMode mode);

// One implementation per instruction set; all three write identical arenas. They trust
// their arguments: `arena` holds pad_left + length + pad_right samples.
using ArenaWriter1d = void (*)(const f32* signal, std::size_t length, f32* arena,
                               std::size_t pad_left, std::size_t pad_right, BorderMode mode);

void write_arena_1d_impl(const f32* signal, std::size_t length, f32* arena,
                         std::size_t pad_left, std::size_t pad_right, BorderMode mode);
namespace sse {
// Built with -msse4.1; call only when has_sse41().
void write_arena_1d_sse4_1(const f32* signal, std::size_t length, f32* arena,
                           std::size_t pad_left, std::size_t pad_right, BorderMode mode);
}  // namespace sse
namespace avx {
// Built with -mavx2; call only when has_avx2().
void write_arena_1d_avx(const f32* signal, std::size_t length, f32* arena,
                        std::size_t pad_left, std::size_t pad_right, BorderMode mode);
}  // namespace avx

// The implementation for this processor (AVX2, else SSE4.1, else scalar), chosen on the
// first call and kept for the life of the process.
[[nodiscard]] ArenaWriter1d make_arena_writer_1d_executor();

}  // namespace vibrel
