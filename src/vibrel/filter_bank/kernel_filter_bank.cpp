#include "vibrel/filter_bank/kernel_filter_bank.hpp"

#include <algorithm>

#include "vibrel/filter_bank/arena_writer.hpp"
#include "vibrel/filter_bank/low_pass_to_high.hpp"
#include "vibrel/kernel/filter_bank_layout.hpp"

namespace vibrel {
namespace {

// The taps the executor filters with: a fixed-length kernel's cut or zero-extended to exactly
// N, in their plain order; the generic kernel's all of them.
template <class Kernel>
[[nodiscard]] auto filter_taps(std::span<const f32> low_pass) {
  if constexpr (kFixedLengthKernel<Kernel>) {
    return arrange_taps<Kernel::kTaps, scalar_tap_layout(Kernel::kTaps)>(low_pass);
  } else {
    return low_pass;
  }
}

template <class Kernel>
[[nodiscard]] typename KernelTaps<Kernel>::Type kernel_taps(std::span<const f32> taps) {
  if constexpr (kFixedLengthKernel<Kernel>) {
    return arrange_taps<Kernel::kTaps, Kernel::kLayout>(taps);
  } else {
    return {taps.begin(), taps.end()};
  }
}

}  // namespace

template <class Kernel>
KernelFilterBank<Kernel>::KernelFilterBank(BorderMode mode, std::span<const f32> low_pass)
    : OrthogonalFilterBank(filter_taps<Kernel>(low_pass).size(),
                           kFixedLengthKernel<Kernel> ? Scratch::None : Scratch::PaddedArena),
      mode_(mode),
      low_(kernel_taps<Kernel>(filter_taps<Kernel>(low_pass))),
      high_(kernel_taps<Kernel>(low_pass_to_high(filter_taps<Kernel>(low_pass)))) {}

template <class Kernel>
VibrelResult<void> KernelFilterBank<Kernel>::analyse(std::span<const f32> input,
                                                     std::span<f32> approximations,
                                                     std::span<f32> details,
                                                     std::span<f32> arena) const {
  if constexpr (kFixedLengthKernel<Kernel>) {
    Kernel::forward(input.data(), input.size(), low_.data(), high_.data(), mode_,
                    approximations.data(), details.data());
    return {};
  } else {
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
}

template <class Kernel>
void KernelFilterBank<Kernel>::synthesise(std::span<const f32> approximations,
                                          std::span<const f32> details,
                                          std::span<f32> output) const {
  if constexpr (kFixedLengthKernel<Kernel>) {
    Kernel::inverse(approximations.data(), details.data(), approximations.size(), low_.data(),
                    high_.data(), output.data());
  } else {
    if (taps() == 0) return;
    Kernel::inverse(approximations.data(), details.data(), approximations.size(), low_.data(),
                    high_.data(), taps(), output.data(), output.size());
  }
}

// The executors of every kernel the factory uses (filter_banks.hpp names them).
#define VIBREL_KERNEL_FILTER_BANKS(Set)                      \
  template class KernelFilterBank<FixedTapsKernel<Set, 2>>;  \
  template class KernelFilterBank<FixedTapsKernel<Set, 4>>;  \
  template class KernelFilterBank<FixedTapsKernel<Set, 6>>;  \
  template class KernelFilterBank<FixedTapsKernel<Set, 8>>;  \
  template class KernelFilterBank<FixedTapsKernel<Set, 10>>; \
  template class KernelFilterBank<FixedTapsKernel<Set, 12>>; \
  template class KernelFilterBank<NTapsKernel<Set>>
VIBREL_KERNEL_FILTER_BANKS(ScalarSet);
VIBREL_KERNEL_FILTER_BANKS(sse::Sse42Set);
VIBREL_KERNEL_FILTER_BANKS(avx::Avx2FmaSet);
template class KernelFilterBank<FixedTapsKernel<ScalarSet, 16>>;
template class KernelFilterBank<FixedTapsKernel<avx::Avx2FmaSet, 16>>;

}  // namespace vibrel
