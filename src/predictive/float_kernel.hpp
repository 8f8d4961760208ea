#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "predictive/cost_estimate.hpp"
#include "predictive/error.hpp"
#include "predictive/error_stats.hpp"
#include "predictive/float_quantiser.hpp"
#include "predictive/grid_step.hpp"
#include "predictive/interpolation.hpp"
#include "predictive/predictors.hpp"
#include "predictive/sample_type.hpp"
#include "predictive/scratch.hpp"
#include "predictive/stream_layout.hpp"

namespace tessarine::predictive {

// Every 8th block of a chunk is the sample on which coding choices are weighed.
inline constexpr std::size_t kEstimateEvery = 8;

// Bits per sample that one unit of a predictor's noise gain costs, in the block choice (tuned
// on the recorded signals: 0.25 was never worse than 0, 0.5 or 1).
inline constexpr double kNoiseBits = 0.25;

// Quantised floats of format F, one chunk at a time: bins of the bound's step or of a grid
// the samples lie on; block predictors or interpolation.
template <class F>
class FloatKernel {
 public:
  using Storage = typename F::Storage;
  static constexpr ChunkExtras kExtras = ChunkExtras::FloatQuantiser;

  FloatKernel(double step, double bound, std::size_t capacity)
      : step_q_{step, 1.0 / step, bound}, samples_(kSamplesBefore + capacity), reconstructions_(capacity) {
    grid_q_.bound = bound;
  }

  void load(const SampleView& view, std::size_t first, std::size_t n) {
    view_ = view;
    first_ = first;
    x_ = samples_.get() + kSamplesBefore;
    std::fill(x_ - kSamplesBefore, x_, 0.0);
    if (view.stride == sizeof(Storage)) {  // the usual case, in a loop the compiler vectorises
      const std::byte* from = sample_at(view, first);
      for (std::size_t i = 0; i < n; ++i) {
        Storage s;
        std::memcpy(&s, from + i * sizeof s, sizeof s);
        x_[i] = F::widen(s);
      }
      return;
    }
    for (std::size_t i = 0; i < n; ++i) {
      Storage s;
      std::memcpy(&s, sample_at(view, first + i), sizeof s);
      x_[i] = F::widen(s);
    }
  }

  // Lossless: every chunk on this grid, with bins of one step (the bound is 0).
  void fix_grid(const Grid& grid) { fixed_grid_ = grid; }

  // Block predictors by residual sums; then, by the estimated cost of their codes on a
  // sample, the layout, and the grid (with block predictors) where the chunk has one. The
  // estimates read only every kEstimateEvery-th block, so the other blocks' predictors are
  // chosen only when block predictors win.
  [[nodiscard]] ChunkHeader plan(std::size_t n) {
    if (fixed_grid_.spacing > 0.0) return fixed_grid_header(n);
    measure_blocks(n, 0, kEstimateEvery);
    ChunkHeader header = blocks_header(n);
    header.step = step_q_.step;
    const double best = choose_layout(header, n, step_q_);
    ChunkHeader chosen = header;
    const Grid grid = find_grid(x_, n, kBlock, kEstimateEvery * kBlock, F::kUnitRoundoff);
    if (grid.spacing > 0.0) {
      const double multiple = grid_multiple(step_q_.bound, grid.spacing);
      if (multiple * grid.spacing > step_q_.step && multiple < 0x1p31) {
        ChunkHeader on_grid = blocks_header(n);
        on_grid.on_grid = true;
        on_grid.origin = grid.origin;
        on_grid.spacing = grid.spacing;
        on_grid.multiple = static_cast<std::uint32_t>(multiple);
        use_grid(on_grid);
        if (estimate_grid(on_grid, n) < best) chosen = on_grid;
      }
    }
    if (chosen.layout == ChunkLayout::Blocks) {
      for (std::size_t first = 1; first < kEstimateEvery; ++first)
        measure_blocks(n, first, kEstimateEvery);
      chosen.predictors = blocks_header(n).predictors;
    }
    return chosen;
  }

  void encode(const ChunkHeader& header, std::span<std::uint64_t> codes, EscapeWriter& escapes,
              ErrorStats& stats) {
    if (header.on_grid) {
      use_grid(header);
      encode_grid(header, codes, escapes, stats);
    } else {
      encode_with(step_q_, header, codes, escapes, stats);
    }
    stats.finite += codes.size() - non_finite_;
    non_finite_ = 0;
  }

  [[nodiscard]] PredictiveResult<void> decode(const ChunkHeader& header,
                                              std::span<const std::uint64_t> codes,
                                              EscapeReader& escapes, std::byte* out) {
    if (is_lpc(header.layout) || (header.on_grid && header.layout != ChunkLayout::Blocks)) {
      return std::unexpected(PredictiveError::damaged("chunk layout does not fit its quantiser"));
    }
    bool ok = true;
    if (header.on_grid) {
      use_grid(header);
      decode_grid(header, codes, escapes, out, ok);
    } else {
      step_q_.step = header.step;
      decode_with(step_q_, header, codes, escapes, out, ok);
    }
    if (!ok) return std::unexpected(PredictiveError::damaged("codes ask for more escapes than the chunk holds"));
    return {};
  }

 private:
  // Visits the chunk in the header's coding order: at(i, prediction) returns what the
  // predictors see next.
  template <class At>
  TESSARINE_INLINE void walk(const ChunkHeader& header, std::size_t n, At&& at) {
    if (header.layout == ChunkLayout::LinearInterpolation) {
      interpolation_walk<false>(n, reconstructions_.get(), at);
    } else if (header.layout == ChunkLayout::CubicInterpolation) {
      interpolation_walk<true>(n, reconstructions_.get(), at);
    } else {
      History<double> h;
      for (std::size_t begin = 0; begin < n; begin += kBlock) {
        const std::size_t end = std::min(n, begin + kBlock);
        with_predictor(header.predictors[begin / kBlock], [&]<Predictor P>() {
          for (std::size_t i = begin; i < end; ++i) h.push(at(i, predict<P>(h)));
        });
      }
    }
  }

  template <class Q>
  void encode_with(const Q& quantiser, const ChunkHeader& header, std::span<std::uint64_t> codes,
                   EscapeWriter& escapes, ErrorStats& stats) {
    const bool interpolated = header.layout != ChunkLayout::Blocks;
    std::size_t k = 0;
    // Plain locals, which the compiler keeps in registers (a struct stays in memory).
    double max_abs = stats.max_abs;
    double sum_squared = stats.sum_squared;
    const Q q = quantiser;
    const double* const x_at = x_;
    walk(header, codes.size(), [&](std::size_t i, double p) TESSARINE_INLINE {
      std::uint64_t& code = codes[interpolated ? k++ : i];
      const double x = x_at[i];
      double next;
      double y;
      if (q.quantise(x, p, code, next, y)) [[likely]] {
        const double error = x - y;
        max_abs = std::max(max_abs, std::fabs(error));
        sum_squared += error * error;
        return next;
      }
      code = kEscapeCode;
      escapes.push(raw_bits(view_, first_ + i));
      if (!std::isfinite(x)) ++non_finite_;
      return escaped_history(x, p);
    });
    stats.max_abs = max_abs;
    stats.sum_squared = sum_squared;
  }

  template <class Q>
  void decode_with(const Q& quantiser, const ChunkHeader& header, std::span<const std::uint64_t> codes,
                   EscapeReader& escapes, std::byte* out, bool& ok) {
    const bool interpolated = header.layout != ChunkLayout::Blocks;
    // Local copies: the byte stores to `out` may alias anything the decoder can reach through a
    // reference or pointer, which would reload those on every sample.
    const Q q = quantiser;
    const std::uint64_t* const code_at = codes.data();
    std::size_t k = 0;
    walk(header, codes.size(), [&](std::size_t i, double p) TESSARINE_INLINE {
      const std::uint64_t code = code_at[interpolated ? k++ : i];
      if (code != kEscapeCode) [[likely]] {
        const double next = q.unrounded(p, unzigzag(code - 1));
        const Storage s = F::narrow(next);
        F::put(out + i * sizeof(Storage), s);
        return next;
      }
      return escaped_history(F::widen(take_escape(escapes, out + i * sizeof(Storage), ok)), p);
    });
  }

  // The next escaped sample, written to `at` as it was stored; `ok` turns false when none is left.
  TESSARINE_INLINE static Storage take_escape(EscapeReader& escapes, std::byte* at, bool& ok) {
    std::uint64_t raw = 0;
    if (!escapes.next(raw)) ok = false;
    Storage s;
    std::memcpy(&s, &raw, sizeof s);
    std::memcpy(at, &s, sizeof s);
    return s;
  }

  // On a grid: block predictors only, on indices; at(i, prediction) returns the next index.
  template <class At>
  TESSARINE_INLINE static void walk_grid(const ChunkHeader& header, std::size_t begin, std::size_t end,
                        History<std::int64_t> h, At&& at) {
    for (std::size_t first = begin; first < end; first += kBlock) {
      const std::size_t last = std::min(end, first + kBlock);
      with_predictor(header.predictors[first / kBlock], [&]<Predictor P>() {
        for (std::size_t i = first; i < last; ++i) h.push(at(i, predict<P>(h)));
      });
    }
  }

  void encode_grid(const ChunkHeader& header, std::span<std::uint64_t> codes, EscapeWriter& escapes,
                   ErrorStats& stats) {
    double max_abs = stats.max_abs;  // in registers, as in encode_with
    double sum_squared = stats.sum_squared;
    walk_grid(header, 0, codes.size(), {}, [&](std::size_t i, std::int64_t p) TESSARINE_INLINE {
      const double x = x_[i];
      std::int64_t n;
      double y;
      if (grid_q_.quantise(x, p, codes[i], n, y)) [[likely]] {
        const double error = x - y;
        max_abs = std::max(max_abs, std::fabs(error));
        sum_squared += error * error;
        return n;
      }
      codes[i] = kEscapeCode;
      escapes.push(raw_bits(view_, first_ + i));
      if (!std::isfinite(x)) ++non_finite_;
      return grid_q_.escaped_history(x, p);
    });
    stats.max_abs = max_abs;
    stats.sum_squared = sum_squared;
  }

  void decode_grid(const ChunkHeader& header, std::span<const std::uint64_t> codes, EscapeReader& escapes,
                   std::byte* out, bool& ok) const {
    const GridQuantiser<F> q = grid_q_;  // a local copy, as in decode_with
    const std::uint64_t* const code_at = codes.data();
    walk_grid(header, 0, codes.size(), {}, [&](std::size_t i, std::int64_t p) TESSARINE_INLINE {
      std::int64_t n = 0;
      const std::uint64_t code = code_at[i];
      if (code != kEscapeCode) [[likely]] {
        if (!q.rebuild(p, code, n)) ok = false;
        const Storage s = q.value(n);
        F::put(out + i * sizeof(Storage), s);
        return n;
      }
      return q.escaped_history(F::widen(take_escape(escapes, out + i * sizeof(Storage), ok)), p);
    });
  }

  // Estimated bits of the grid's codes on every kEstimateEvery-th block.
  double estimate_grid(const ChunkHeader& header, std::size_t n) const {
    CodeCost cost;
    for (std::size_t begin = 0; begin < n; begin += kEstimateEvery * kBlock) {
      History<std::int64_t> h;
      for (std::size_t back = std::min<std::size_t>(begin, 3); back > 0; --back) {
        h.push(grid_q_.escaped_history(x_[begin - back], 0));
      }
      walk_grid(header, begin, std::min(n, begin + kBlock), h, [&](std::size_t i, std::int64_t p) {
        std::uint64_t code;
        std::int64_t index;
        double y;
        if (grid_q_.quantise(x_[i], p, code, index, y)) [[likely]] {
          cost.add(code);
          return index;
        }
        cost.add(kEscapeCode);
        cost.add_raw(8 * sizeof(Storage));
        return grid_q_.escaped_history(x_[i], p);
      });
    }
    return cost.bits();
  }

  ChunkHeader fixed_grid_header(std::size_t n) {
    measure_blocks(n, 0, 1);
    ChunkHeader header = blocks_header(n);
    header.on_grid = true;
    header.origin = fixed_grid_.origin;
    header.spacing = fixed_grid_.spacing;
    header.multiple = 1;
    return header;
  }

  void use_grid(const ChunkHeader& header) {
    grid_q_.origin = header.origin;
    grid_q_.spacing = header.spacing;
    grid_q_.inverse_spacing = 1.0 / header.spacing;
    grid_q_.multiple = header.multiple;
    grid_q_.inverse_multiple = 1.0 / header.multiple;
    grid_q_.limit = GridQuantiser<F>::kIndexLimit / header.multiple;
  }

  // Residual sums of blocks first, first + every, ...: about the bits of each residual, so
  // that spikes weigh what they cost.
  void measure_blocks(std::size_t n, std::size_t first, std::size_t every) {
    for (std::size_t b = first; b < block_count(n); b += every) {
      const std::size_t begin = b * kBlock;
      sums_[b] = log_residual_sums(x_ + begin, std::min(kBlock, n - begin), step_q_.inverse_step);
    }
  }

  ChunkHeader blocks_header(std::size_t n) const {
    ChunkHeader header;
    for (std::size_t b = 0; b < block_count(n); ++b) {
      header.predictors[b] = cheapest_predictor(sums_[b], std::min(kBlock, n - b * kBlock), kNoiseBits);
    }
    return header;
  }

  // The quantiser's estimated code for x against p goes to `cost`; returns what the predictors
  // see next.
  template <class Q>
  TESSARINE_INLINE static double trial(const Q& quantiser, double x, double p, CodeCost& cost) {
    std::uint64_t code;
    double next;
    if (quantiser.estimate(x, p, code, next)) [[likely]] {
      cost.add(code);
      return next;
    }
    cost.add(kEscapeCode);
    cost.add_raw(8 * sizeof(Storage));
    return escaped_history(x, p);
  }

  // Runs the header's block predictors and both interpolations closed-loop on every
  // kEstimateEvery-th block (each interpolation walking it as if it were the chunk) and
  // compares their codes' estimated cost. The cheapest becomes the layout; returns its bits.
  template <class Q>
  double choose_layout(ChunkHeader& header, std::size_t n, const Q& quantiser) {
    CodeCost blocks;
    CodeCost linear;
    CodeCost cubic;
    for (std::size_t begin = 0; begin < n; begin += kEstimateEvery * kBlock) {
      const std::size_t length = std::min(kBlock, n - begin);
      const double* x = x_ + begin;
      with_predictor(header.predictors[begin / kBlock], [&]<Predictor P>() {
        History<double> h = history_before(x_, begin);
        for (std::size_t i = 0; i < length; ++i) h.push(trial(quantiser, x[i], predict<P>(h), blocks));
      });
      if (n < 4 * kAnchorStride) continue;
      interpolation_walk<false>(length, reconstructions_.get(), [&](std::size_t i, double p) { return trial(quantiser, x[i], p, linear); });
      interpolation_walk<true>(length, reconstructions_.get(), [&](std::size_t i, double p) { return trial(quantiser, x[i], p, cubic); });
    }
    if (n < 4 * kAnchorStride) return blocks.bits();
    const double best = std::min({blocks.bits(), linear.bits(), cubic.bits()});
    if (best == cubic.bits()) header.layout = ChunkLayout::CubicInterpolation;
    else if (best == linear.bits()) header.layout = ChunkLayout::LinearInterpolation;
    return best;
  }

  StepQuantiser<F> step_q_;
  GridQuantiser<F> grid_q_;
  Grid fixed_grid_;  // spacing 0: each chunk chooses
  // Zeros before the chunk's samples: the history a chunk starts from.
  static constexpr std::size_t kSamplesBefore = 4;

  Scratch<double> samples_;          // the chunk's samples (encoder), after kSamplesBefore zeros
  Scratch<double> reconstructions_;  // for interpolation
  double* x_ = nullptr;
  std::array<std::array<double, kPredictorCount>, kBlocksPerChunk> sums_{};  // per block, by predictor
  SampleView view_{};
  std::size_t first_ = 0;
  std::size_t non_finite_ = 0;
};

}  // namespace tessarine::predictive
