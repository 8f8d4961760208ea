#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <span>
#include <utility>
#include <vector>

#include "vibrel/executor.hpp"
#include "vibrel/lifting/lifting_scheme.hpp"
#include "vibrel/lifting/lifting_steps.hpp"
#include "vibrel/lifting/lifting_workspace.hpp"
#include "vibrel/multi_level.hpp"

namespace vibrel {

// A non-expansive lifting transform: n samples become ceil(n/2) approximation and floor(n/2)
// detail coefficients, coefficient k of each band belonging to x[2k] and x[2k+1]. `Scheme`
// supplies the steps and constants, `Kernels` the instruction set (LiftingKernels<ScalarSet>
// or LiftingKernels<avx::Avx2FmaSet>). All checks and allocations happen here, so kernels only
// compute.
// The class holds no data; it is instantiated in cdf53f.cpp and cdf97f.cpp.
template <class Scheme, class Kernels>
class LiftingExecutor final : public DwtExecutor<f32> {
  static_assert(steps_alternate<Scheme>());

 public:
  [[nodiscard]] VibrelResult<void> execute_forward(std::span<const f32> input,
                                                   std::span<f32> approximations,
                                                   std::span<f32> details) const override {
    if (auto checked = check_forward(input.size(), approximations.size(), details.size());
        !checked) {
      return checked;
    }
    forward(input, approximations, details);
    return {};
  }

  [[nodiscard]] VibrelResult<void> execute_forward_with_scratch(
      std::span<const f32> input, std::span<f32> approximations, std::span<f32> details,
      std::span<f32> /*scratch*/) const override {
    return execute_forward(input, approximations, details);
  }

  [[nodiscard]] std::size_t required_scratch_size(std::size_t) const override { return 0; }

  [[nodiscard]] DwtSize dwt_size(std::size_t n) const override {
    return {std::max<std::size_t>(n - n / 2, 2), std::max(n / 2, Scheme::kMinDetails)};
  }

  [[nodiscard]] VibrelResult<void> execute_inverse(std::span<const f32> approximations,
                                                   std::span<const f32> details,
                                                   std::span<f32> output) const override {
    if (auto checked = check_inverse(approximations.size(), details.size(), output.size());
        !checked) {
      return checked;
    }
    return inverse(approximations, details, output);
  }

  [[nodiscard]] std::size_t idwt_size(DwtSize size) const override {
    return std::max(size.approximation_length + size.details_length, Scheme::kMinLength);
  }

  [[nodiscard]] std::size_t filter_length() const override { return Scheme::kFilterLength; }

  [[nodiscard]] VibrelResult<Dwt<f32>> dwt(std::span<const f32> input,
                                           std::size_t level) const override {
    return dwt_with_rules(*this, input, level, kRules);
  }
  [[nodiscard]] VibrelResult<MultiDwt<f32>> multi_dwt(std::span<const f32> input,
                                                      std::size_t levels) const override {
    return multi_dwt_with_rules(*this, input, levels, kRules);
  }
  [[nodiscard]] VibrelResult<MultiDwt<f32>> multi_dwt_consuming(
      std::vector<f32>&& input, std::size_t levels) const override {
    return multi_dwt_consuming_with_rules(*this, std::move(input), levels, kRules);
  }
  [[nodiscard]] VibrelResult<std::vector<f32>> idwt(const DwtView<f32>& view) const override {
    return idwt_with_rules(*this, view, kRules);
  }
  [[nodiscard]] VibrelResult<std::vector<f32>> multi_idwt(
      const MultiDwtView<f32>& view) const override {
    return multi_idwt_with_rules(*this, view, kRules);
  }
  // Each level's reconstruction is exactly as long as its two bands, which lie side by side in
  // `bands`, and it is the approximation band of the next finer level: every level runs inside
  // the array, with one approximation band as working space.
  [[nodiscard]] VibrelResult<std::vector<f32>> multi_idwt_consuming(
      MultiDwtStorage<f32>&& bands) const override {
    if (!fits_in_place(bands)) return multi_idwt(view_of(bands));
    std::size_t length = bands.approximation_length;
    for (const std::size_t b : bands.details_lengths) {
      auto done = inverse_in_place(std::span<f32>(bands.values).first(length + b), length);
      if (!done) return std::unexpected(done.error());
      length += b;
    }
    return std::move(bands.values);
  }

 private:
  // Every level, one-level requests included, needs kMinLength samples; reconstructions are
  // passed on whole because a + d = n exactly.
  static constexpr LevelRules kRules{Scheme::kMinLength, true, false};

  // Size errors report the given length first and the length that was required second.
  [[nodiscard]] static VibrelResult<void> check_forward(std::size_t n, std::size_t a,
                                                        std::size_t b) {
    if (n < Scheme::kMinLength) {
      return std::unexpected(VibrelError::input_too_short(n, Scheme::kMinLength));
    }
    if (a != n - n / 2) return std::unexpected(VibrelError::approx_size_mismatch(a, n - n / 2));
    if (b != n / 2) return std::unexpected(VibrelError::details_size_mismatch(b, n / 2));
    return {};
  }

  [[nodiscard]] static VibrelResult<void> check_inverse(std::size_t a, std::size_t b,
                                                        std::size_t n) {
    if (a + b != n) return std::unexpected(VibrelError::output_size_mismatch(n, a + b));
    const std::size_t required_a = std::max<std::size_t>(n - n / 2, 2);
    const std::size_t required_b = std::max(n / 2, Scheme::kMinDetails);
    if (a != required_a) return std::unexpected(VibrelError::approx_size_mismatch(a, required_a));
    if (b != required_b) {
      return std::unexpected(VibrelError::details_size_mismatch(b, required_b));
    }
    return {};
  }

  static constexpr auto& kSteps = Scheme::kSteps;
  static constexpr std::size_t kStepCount = kSteps.size();
  static constexpr bool predicts(std::size_t step) {
    return kSteps[step].kind == LiftingStep::Kind::Predict;
  }

  // The steps one after another over each strip; see lifting_steps.hpp.
  static void forward(std::span<const f32> x, std::span<f32> s, std::span<f32> d) {
    std::array<std::size_t, kStepCount> done{};
    std::size_t scaled_s = 0;
    std::size_t scaled_d = 0;
    for (std::size_t target = 0; target < d.size();) {
      target = std::min(target + kLiftingStrip, d.size());
      done[0] = advance_split<Kernels>(x, s, d, kSteps[0].coefficient, done[0], target);
      for (std::size_t i = 1; i < kStepCount; ++i) {
        const f32 c = kSteps[i].coefficient;
        done[i] = predicts(i) ? advance_predict<Kernels>(s, d, c, done[i], done[i - 1])
                              : advance_update<Kernels>(s, d, c, done[i], done[i - 1]);
      }
      if constexpr (Scheme::kScaled) {
        // The last update is final up to `last` but still reads d[last - 1].
        const std::size_t last = done[kStepCount - 1];
        const std::size_t d_free = last == s.size() ? d.size() : (last > 0 ? last - 1 : 0);
        scaled_s = advance_scale<Kernels>(s, s, Scheme::kApproximationScale, scaled_s, last);
        scaled_d = advance_scale<Kernels>(d, d, Scheme::kDetailsScale, scaled_d, d_free);
      }
    }
  }

  // Working copy of the next strip of each band: e of s, and o of d where needed.
  static void prepare(std::span<const f32> s, std::span<const f32> d, std::span<f32> e,
                      std::span<f32> o, std::size_t from, std::size_t target) {
    const std::size_t e_to = target == d.size() ? s.size() : target;
    if constexpr (Scheme::kScaled) {
      advance_scale<Kernels>(s, e, Scheme::kInverseApproximationScale, from, e_to);
      advance_scale<Kernels>(d, o, Scheme::kInverseDetailsScale, from, target);
    } else {
      std::copy(s.begin() + from, s.begin() + e_to, e.begin() + from);
      if (!o.empty()) std::copy(d.begin() + from, d.begin() + target, o.begin() + from);
    }
  }

  // Undoes every step but the first for the strip ending at `target`, backwards; the last
  // forward step is an update, so undoing it first needs only the details. Returns e's final
  // prefix.
  static std::size_t undo_later_steps(std::span<f32> e, std::span<f32> o,
                                      std::span<const f32> details,
                                      std::array<std::size_t, kStepCount>& done,
                                      std::size_t target) {
    std::size_t ready = target;
    for (std::size_t i = kStepCount - 1; i > 0; --i) {
      const f32 c = -kSteps[i].coefficient;
      ready = done[i] = predicts(i) ? advance_predict<Kernels>(e, o, c, done[i], ready)
                                    : advance_update<Kernels>(e, details, c, done[i], ready);
    }
    return ready;
  }

  // Undoes the steps backwards on working copies; the final predict writes its details
  // straight into the interleaved output.
  [[nodiscard]] static VibrelResult<void> inverse(std::span<const f32> s, std::span<const f32> d,
                                                  std::span<f32> y) {
    constexpr bool kCopyDetails = inverse_rewrites_details<Scheme>();
    const std::size_t a = s.size();
    const std::size_t b = d.size();
    auto workspace = lifting_workspace(kCopyDetails ? a + b : a);
    if (!workspace) return std::unexpected(workspace.error());
    const std::span<f32> e(workspace->get(), a);
    const std::span<f32> o(workspace->get() + a, kCopyDetails ? b : 0);
    // Without a copy only updates come before the final predict, and they read d.
    const std::span<const f32> details = kCopyDetails ? std::span<const f32>(o) : d;
    std::array<std::size_t, kStepCount> done{};
    for (std::size_t target = 0, from = 0; target < b; from = target) {
      target = std::min(target + kLiftingStrip, b);
      prepare(s, d, e, o, from, target);
      const std::size_t ready = undo_later_steps(e, o, details, done, target);
      done[0] = advance_interleave<Kernels>(e, details, -kSteps[0].coefficient, y, done[0], ready);
    }
    return {};
  }

  // One level inside y = s followed by d, where s has `a` coefficients. s is copied out first,
  // since the output overtakes it; the details are undone where they lie, ahead of the output.
  [[nodiscard]] static VibrelResult<void> inverse_in_place(std::span<f32> y, std::size_t a) {
    const std::size_t b = y.size() - a;
    auto workspace = lifting_workspace(a);
    if (!workspace) return std::unexpected(workspace.error());
    const std::span<f32> e(workspace->get(), a);
    const std::span<f32> d = y.subspan(a);
    if constexpr (Scheme::kScaled) {
      advance_scale<Kernels>(y.first(a), e, Scheme::kInverseApproximationScale, 0, a);
    } else {
      std::copy_n(y.begin(), a, e.begin());
    }
    std::array<std::size_t, kStepCount> done{};
    for (std::size_t target = 0, from = 0; target < b; from = target) {
      target = std::min(target + kLiftingStrip, b);
      if constexpr (Scheme::kScaled) {
        advance_scale<Kernels>(d, d, Scheme::kInverseDetailsScale, from, target);
      }
      const std::size_t ready = undo_later_steps(e, d, d, done, target);
      done[0] = interleave_behind_details(e, d, y, done[0], ready);
    }
    return {};
  }

  // The final predict into y, which also holds d at offset a = e.size(). Each kernel call
  // writes y[2 k0, 2 k1) only where 2 k1 <= a + k0, below d[k0], the first detail it reads,
  // so no detail is overwritten before it is read; near the end the calls shrink.
  static std::size_t interleave_behind_details(std::span<const f32> e, std::span<const f32> d,
                                               std::span<f32> y, std::size_t done,
                                               std::size_t ready) {
    const std::size_t a = e.size();
    const f32 c = -kSteps[0].coefficient;
    for (;;) {
      // advance_interleave places details below ready - 1.
      const std::size_t reach = done + std::max<std::size_t>(1, (a - done) / 2) + 1;
      if (reach >= ready) break;
      const std::size_t next = advance_interleave<Kernels>(e, d, c, y, done, reach);
      if (next == done) break;  // only the border is left, written after its reads
      done = next;
    }
    return advance_interleave<Kernels>(e, d, c, y, done, ready);
  }

  // Whether multi_idwt would succeed on these bands, each level's bands fitting exactly where
  // its reconstruction goes; anything else takes the ordinary path and its errors.
  [[nodiscard]] static bool fits_in_place(const MultiDwtStorage<f32>& bands) {
    std::size_t length = bands.approximation_length;
    if (length == 0 || bands.details_lengths.empty()) return false;
    for (const std::size_t b : bands.details_lengths) {
      if (!check_inverse(length, b, length + b)) return false;
      length += b;
    }
    return length == bands.values.size();
  }
};

}  // namespace vibrel
