#include "vibrel/filter_bank/wavelet_n_taps.hpp"

#include <algorithm>

#include "vibrel/filter_bank/arena_writer.hpp"
#include "vibrel/filter_bank/low_pass_to_high.hpp"
#include "vibrel/kernel/filter_bank_kernels.hpp"

namespace vibrel {

template <class Kernel>
NTapsWavelet<Kernel>::NTapsWavelet(BorderMode mode, std::span<const f32> low_pass)
    : OrthogonalFilterBank(low_pass.size(), Scratch::PaddedArena),
      low_(low_pass.begin(), low_pass.end()),
      high_(low_pass_to_high(low_pass)),
      mode_(mode) {}

template <class Kernel>
VibrelResult<void> NTapsWavelet<Kernel>::analyse(std::span<const f32> input,
                                                 std::span<f32> approximations,
                                                 std::span<f32> details,
                                                 std::span<f32> arena) const {
  const std::size_t m = approximations.size();
  if (taps() == 0) {
    std::fill(approximations.begin(), approximations.end(), 0.0f);
    std::fill(details.begin(), details.end(), 0.0f);
    return {};
  }
  if (taps() == 1) {
    // The window of output i is the single sample 2i + 1: no extension, no arena.
    Kernel::forward(input.data() + 1, input.size() - 1, m, low_.data(), high_.data(), taps(),
                    approximations.data(), details.data());
    return {};
  }
  const std::size_t pad_left = taps() - 2;
  const std::size_t pad_right = arena.size() - input.size() - pad_left;
  const VibrelResult<void> written =
      write_arena_1d(&Kernel::write_arena, input, arena, pad_left, pad_right, mode_);
  if (!written) return written;
  Kernel::forward(arena.data(), arena.size(), m, low_.data(), high_.data(), taps(),
                  approximations.data(), details.data());
  return {};
}

template <class Kernel>
void NTapsWavelet<Kernel>::synthesise(std::span<const f32> approximations,
                                      std::span<const f32> details,
                                      std::span<f32> output) const {
  if (taps() == 0) return;
  Kernel::inverse(approximations.data(), details.data(), approximations.size(), low_.data(),
                  high_.data(), taps(), output.data(), output.size());
}

template class NTapsWavelet<NTapsKernel<ScalarSet>>;
template class NTapsWavelet<NTapsKernel<sse::Sse42Set>>;
template class NTapsWavelet<NTapsKernel<avx::Avx2FmaSet>>;

}  // namespace vibrel
