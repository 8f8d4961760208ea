#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "vibrel/executor.hpp"

namespace vibrel {

// The single- and multi-level operations, written once over any single-level executor.
// The orthogonal filter banks (through CompletedDwtExecutor) and the lifting transforms use
// the same code and differ only in these rules.
struct LevelRules {
  // Shortest input a level may decompose (the filter length, or 3 / 4 for the lifting pair).
  std::size_t min_length;
  // Lifting transforms check min_length for a one-level request too; the filter banks leave
  // that to the executor's own InputTooShort check.
  bool check_single_level;
  // Filter banks: idwt needs bands of equal length and a coarser reconstruction is trimmed to
  // the next details band. Lifting: any band lengths, reconstructions passed on whole.
  bool expansive;
};

[[nodiscard]] VibrelResult<Dwt<f32>> dwt_with_rules(const IncompleteDwtExecutor<f32>& inner,
                                                    std::span<const f32> input,
                                                    std::size_t level, const LevelRules& rules);

[[nodiscard]] VibrelResult<MultiDwt<f32>> multi_dwt_with_rules(
    const IncompleteDwtExecutor<f32>& inner, std::span<const f32> input, std::size_t levels,
    const LevelRules& rules);

// multi_dwt_with_rules for a caller that needs only the bands: the input is freed after the
// first level, and each approximation band but the coarsest once the next level has read it,
// so those entries' approximations come back empty.
[[nodiscard]] VibrelResult<MultiDwt<f32>> multi_dwt_consuming_with_rules(
    const IncompleteDwtExecutor<f32>& inner, std::vector<f32>&& input, std::size_t levels,
    const LevelRules& rules);

[[nodiscard]] VibrelResult<std::vector<f32>> idwt_with_rules(
    const IncompleteDwtExecutor<f32>& inner, const DwtView<f32>& view, const LevelRules& rules);

[[nodiscard]] VibrelResult<std::vector<f32>> multi_idwt_with_rules(
    const IncompleteDwtExecutor<f32>& inner, const MultiDwtView<f32>& view,
    const LevelRules& rules);

// multi_idwt_with_rules(view_of(bands)), with the same result and errors, keeping each
// coarser reconstruction in the front of the bands' array, where the bands it undid lay,
// rather than beside it.
[[nodiscard]] VibrelResult<std::vector<f32>> multi_idwt_consuming_with_rules(
    const IncompleteDwtExecutor<f32>& inner, MultiDwtStorage<f32>&& bands,
    const LevelRules& rules);

}  // namespace vibrel
