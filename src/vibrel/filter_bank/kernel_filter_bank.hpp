#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <vector>

#include "vibrel/filter_bank/orthogonal_filter_bank.hpp"
#include "vibrel/kernel/border_mode.hpp"
#include "vibrel/kernel/filter_bank_kernels.hpp"

namespace vibrel {

// Whether a kernel has a fixed number of taps; the generic kernel takes any count.
template <class Kernel>
inline constexpr bool kFixedLengthKernel = false;
template <class Set, std::size_t N>
inline constexpr bool kFixedLengthKernel<FixedTapsKernel<Set, N>> = true;

// The taps as a kernel reads them: a fixed-length kernel's arranged for its registers
// (zero-padded, possibly repeated), the generic kernel's as they are.
template <class Kernel>
struct KernelTaps {
  using Type = std::vector<f32>;
};
template <class Set, std::size_t N>
struct KernelTaps<FixedTapsKernel<Set, N>> {
  using Type = std::array<f32, FixedTapsKernel<Set, N>::kLayout.stored()>;
};

// One level of an orthogonal two-channel filter bank whose arithmetic is one kernel of one
// instruction set. The executor owns the record; the instantiations are named in
// filter_banks.hpp.
//
// A fixed-length kernel (FixedTapsKernel, N = Kernel::kTaps) gathers the border samples
// inline, so no scratch is needed. Reflect and Reflect101 map border positions exactly as the
// padded arena does (through BorderInterpolation), so fixed-length and generic executors
// agree in every border mode.
//
// The generic kernel (NTapsKernel) takes any number of taps N: the signal is copied with its
// border extension into a scratch arena (N - 2 samples before the signal, N - 2 or N - 1 after
// it), which the kernel convolves. N is not validated: zero taps give zero-filled bands, odd
// counts are computed as written.
template <class Kernel>
class KernelFilterBank final : public OrthogonalFilterBank {
 public:
  // `low_pass` holds the low-pass taps; the high-pass taps are derived from them. A
  // fixed-length kernel reads missing taps as zero and ignores surplus ones, so construction
  // cannot fail.
  KernelFilterBank(BorderMode mode, std::span<const f32> low_pass);

 private:
  // The generic kernel runs over the arena built in `scratch`.
  [[nodiscard]] VibrelResult<void> analyse(std::span<const f32> input,
                                           std::span<f32> approximations, std::span<f32> details,
                                           std::span<f32> scratch) const override;
  void synthesise(std::span<const f32> approximations, std::span<const f32> details,
                  std::span<f32> output) const override;

  BorderMode mode_;
  typename KernelTaps<Kernel>::Type low_;
  typename KernelTaps<Kernel>::Type high_;
};

}  // namespace vibrel
