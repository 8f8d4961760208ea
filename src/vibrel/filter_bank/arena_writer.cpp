#include "vibrel/filter_bank/arena_writer.hpp"

#include <cassert>

namespace vibrel {
namespace {

// pad_left + length + pad_right, or nothing when the sum does not fit in a size_t.
[[nodiscard]] bool arena_length(std::size_t pad_left, std::size_t length, std::size_t pad_right,
                                std::size_t& total) {
  return !__builtin_add_overflow(pad_left, length, &total) &&
         !__builtin_add_overflow(total, pad_right, &total);
}

}  // namespace

ArenaWriter1d arena_writer_for_tier(CpuTier tier) {
  switch (tier) {
    case CpuTier::Avx:
      return avx::write_arena_1d_avx;
    case CpuTier::Sse:
      return sse::write_arena_1d_sse4_1;
    case CpuTier::Scalar:
      break;
  }
  return write_arena_1d_impl;
}

ArenaWriter1d make_arena_writer_1d_executor() {
  // Initialised once, under the guard C++ gives function-local statics.
  static const ArenaWriter1d MAKE_ARENA_1D_DISPATCH = arena_writer_for_tier(detected_tier());
  return MAKE_ARENA_1D_DISPATCH;
}

VibrelResult<void> write_arena_1d(ArenaWriter1d writer, std::span<const f32> signal,
                                  std::span<f32> arena, std::size_t pad_left,
                                  std::size_t pad_right, BorderMode mode) {
  std::size_t required = 0;
  const bool fits = arena_length(pad_left, signal.size(), pad_right, required);
  assert(fits && required == arena.size() && "arena must hold pad_left + length + pad_right");
  // Checked in release builds too: a wrong size would otherwise write past the arena.
  if (!fits) return std::unexpected(VibrelError::overflow());
  if (required != arena.size()) {
    return std::unexpected(VibrelError::scratch_size_mismatch(required, arena.size()));
  }
  writer(signal.data(), signal.size(), arena.data(), pad_left, pad_right, mode);
  return {};
}

VibrelResult<void> write_arena_1d(std::span<const f32> signal, std::span<f32> arena,
                                  std::size_t pad_left, std::size_t pad_right, BorderMode mode) {
  return write_arena_1d(make_arena_writer_1d_executor(), signal, arena, pad_left, pad_right, mode);
}

}  // namespace vibrel
