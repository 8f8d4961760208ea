#include "vibrel/filter_bank/arena_writer.hpp"

#include <cassert>
#include <cstdint>
#include <cstring>

#include "vibrel/cpu/cpu_features.hpp"
#include "vibrel/kernel/filter_padding.hpp"

namespace vibrel {
namespace {

[[nodiscard]] ArenaWriter1d choose_arena_writer_1d() {
  if (has_avx2()) return avx::write_arena_1d_avx;
  if (has_sse41()) return sse::write_arena_1d_sse4_1;
  return write_arena_1d_impl;
}

// pad_left + length + pad_right, or nothing when the sum does not fit in a size_t.
[[nodiscard]] bool arena_length(std::size_t pad_left, std::size_t length, std::size_t pad_right,
                                std::size_t& total) {
  return !__builtin_add_overflow(pad_left, length, &total) &&
         !__builtin_add_overflow(total, pad_right, &total);
}

}  // namespace

// The reference implementation: every extension sample is mapped on its own, through the
// same BorderInterpolation the fixed-length executors use.
void write_arena_1d_impl(const f32* signal, std::size_t length, f32* arena, std::size_t pad_left,
                         std::size_t pad_right, BorderMode mode) {
  if (length != 0) std::memcpy(arena + pad_left, signal, length * sizeof(f32));
  const BorderInterpolation border =
      BorderInterpolation::make(mode, 0, static_cast<std::int64_t>(length));
  const std::int64_t left = static_cast<std::int64_t>(pad_left);
  for (std::int64_t k = 0; k < left; ++k) arena[k] = border.sample(signal, k - left);
  f32* right = arena + pad_left + length;
  const std::int64_t end = static_cast<std::int64_t>(length);
  for (std::size_t k = 0; k < pad_right; ++k) {
    right[k] = border.sample(signal, end + static_cast<std::int64_t>(k));
  }
}

ArenaWriter1d make_arena_writer_1d_executor() {
  // Initialised once, under the guard C++ gives function-local statics.
  static const ArenaWriter1d MAKE_ARENA_1D_DISPATCH = choose_arena_writer_1d();
  return MAKE_ARENA_1D_DISPATCH;
}

VibrelResult<void> write_arena_1d(std::span<const f32> signal, std::span<f32> arena,
                                  std::size_t pad_left, std::size_t pad_right, BorderMode mode) {
  std::size_t required = 0;
  const bool fits = arena_length(pad_left, signal.size(), pad_right, required);
  assert(fits && required == arena.size() && "arena must hold pad_left + length + pad_right");
  // Checked in release builds too: a wrong size would otherwise write past the arena.
  if (!fits) return std::unexpected(VibrelError::overflow());
  if (required != arena.size()) {
    return std::unexpected(VibrelError::scratch_size_mismatch(required, arena.size()));
  }
  make_arena_writer_1d_executor()(signal.data(), signal.size(), arena.data(), pad_left, pad_right,
                                  mode);
  return {};
}

}  // namespace vibrel
