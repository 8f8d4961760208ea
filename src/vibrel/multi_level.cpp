#include "vibrel/multi_level.hpp"

#include <algorithm>
#include <new>
#include <optional>
#include <utility>

#include "vibrel/zeroed_vector.hpp"

namespace vibrel {
namespace {

// One level's reconstruction length under `rules`, or nothing where it refuses the bands.
std::optional<std::size_t> level_length(const IncompleteDwtExecutor<f32>& inner,
                                        std::size_t approximation, std::size_t details,
                                        const LevelRules& rules) {
  if (!rules.expansive) return approximation + details;
  if (approximation != details) return std::nullopt;
  return inner.idwt_size({details, details});
}

// One forward level of `input` into freshly allocated, zero-filled bands.
VibrelResult<Dwt<f32>> one_level(const IncompleteDwtExecutor<f32>& inner,
                                 std::span<const f32> input) {
  const DwtSize size = inner.dwt_size(input.size());
  auto approximations = zeroed_vector<f32>(size.approximation_length);
  if (!approximations) return std::unexpected(approximations.error());
  auto details = zeroed_vector<f32>(size.details_length);
  if (!details) return std::unexpected(details.error());
  if (auto done = inner.execute_forward(input, *approximations, *details); !done) {
    return std::unexpected(done.error());
  }
  return Dwt<f32>{std::move(*approximations), std::move(*details)};
}

// Decomposes `input` level by level. `keep` stores each level's bands and returns the stored
// approximation band, which the next level reads in place: no level copies its input.
template <class Keep>
VibrelResult<void> descend(const IncompleteDwtExecutor<f32>& inner, std::span<const f32> input,
                           std::size_t levels, const LevelRules& rules, Keep&& keep) {
  std::span<const f32> signal = input;
  for (std::size_t level = 0; level < levels; ++level) {
    if (signal.size() < rules.min_length) {
      return std::unexpected(VibrelError::buffer_too_small_for_level());
    }
    auto bands = one_level(inner, signal);
    if (!bands) return std::unexpected(bands.error());
    signal = keep(std::move(*bands));
  }
  return {};
}

}  // namespace

VibrelResult<Dwt<f32>> dwt_with_rules(const IncompleteDwtExecutor<f32>& inner,
                                      std::span<const f32> input, std::size_t level,
                                      const LevelRules& rules) {
  if (level <= 1) {
    if (rules.check_single_level && input.size() < rules.min_length) {
      return std::unexpected(VibrelError::buffer_too_small_for_level());
    }
    return one_level(inner, input);
  }
  // Only the deepest level is returned; each level replaces the one it decomposed.
  Dwt<f32> deepest;
  auto done = descend(inner, input, level, rules, [&](Dwt<f32>&& bands) {
    deepest = std::move(bands);
    return std::span<const f32>(deepest.approximations);
  });
  if (!done) return std::unexpected(done.error());
  return deepest;
}

namespace {

// multi_dwt_with_rules; with `release`, the caller's copy of the input, that copy and each
// approximation band but the coarsest are freed once the next level has read them.
VibrelResult<MultiDwt<f32>> multi_dwt_releasing(const IncompleteDwtExecutor<f32>& inner,
                                                std::span<const f32> input, std::size_t levels,
                                                const LevelRules& rules,
                                                std::vector<f32>* release) {
  if (levels <= 1) {
    auto single = dwt_with_rules(inner, input, 1, rules);
    if (!single) return std::unexpected(single.error());
    MultiDwt<f32> result;
    result.levels.push_back(std::move(*single));
    return result;
  }
  MultiDwt<f32> result;
  // Each level at least shortens its input, so a deep request ends at the length check long
  // before it needs this many entries.
  result.levels.reserve(std::min<std::size_t>(levels, 64));
  auto done = descend(inner, input, levels, rules, [&](Dwt<f32>&& bands) {
    if (release != nullptr) {
      std::vector<f32>().swap(result.levels.empty() ? *release
                                                    : result.levels.back().approximations);
    }
    result.levels.push_back(std::move(bands));
    return std::span<const f32>(result.levels.back().approximations);
  });
  if (!done) return std::unexpected(done.error());
  return result;
}

}  // namespace

VibrelResult<MultiDwt<f32>> multi_dwt_with_rules(const IncompleteDwtExecutor<f32>& inner,
                                                 std::span<const f32> input,
                                                 std::size_t levels, const LevelRules& rules) {
  return multi_dwt_releasing(inner, input, levels, rules, nullptr);
}

VibrelResult<MultiDwt<f32>> multi_dwt_consuming_with_rules(const IncompleteDwtExecutor<f32>& inner,
                                                           std::vector<f32>&& input,
                                                           std::size_t levels,
                                                           const LevelRules& rules) {
  std::vector<f32> owned = std::move(input);
  return multi_dwt_releasing(inner, owned, levels, rules, &owned);
}

VibrelResult<std::vector<f32>> idwt_with_rules(const IncompleteDwtExecutor<f32>& inner,
                                               const DwtView<f32>& view,
                                               const LevelRules& rules) {
  const std::size_t a = view.approximations.size();
  const std::size_t d = view.details.size();
  const std::optional<std::size_t> length = level_length(inner, a, d, rules);
  if (!length) return std::unexpected(VibrelError::approx_details_mismatch(a, d));
  auto output = zeroed_vector<f32>(*length);
  if (!output) return output;
  if (auto done = inner.execute_inverse(view.approximations, view.details, *output); !done) {
    return std::unexpected(done.error());
  }
  return output;
}

VibrelResult<std::vector<f32>> multi_idwt_with_rules(const IncompleteDwtExecutor<f32>& inner,
                                                     const MultiDwtView<f32>& view,
                                                     const LevelRules& rules) {
  if (view.details.empty() || view.approximation.empty()) {
    return std::unexpected(VibrelError::zero_sized_input());
  }
  const std::size_t coarsest = view.details.size() - 1;
  auto reconstruction = idwt_with_rules(inner, {view.approximation, view.details[coarsest]}, rules);
  for (std::size_t k = coarsest; k-- > 0 && reconstruction;) {
    std::span<const f32> approximation = *reconstruction;
    const std::span<const f32> details = view.details[k];
    if (rules.expansive) {
      // A coarser level may reconstruct one sample more than the band it replaces.
      if (approximation.size() < details.size()) {
        return std::unexpected(
            VibrelError::approx_details_mismatch(approximation.size(), details.size()));
      }
      approximation = approximation.first(details.size());
    }
    reconstruction = idwt_with_rules(inner, {approximation, details}, rules);
  }
  return reconstruction;
}

namespace {

// Each level's reconstruction length, coarsest first, where multi_idwt_with_rules would
// succeed on these bands, every band lies in the array, each next approximation fits in front
// of its details band (in the room of the bands it came from) and no level is longer than the
// last. Empty otherwise.
std::vector<std::size_t> in_array_plan(const IncompleteDwtExecutor<f32>& inner,
                                       const MultiDwtStorage<f32>& bands,
                                       const LevelRules& rules) {
  std::vector<std::size_t> plan;
  std::size_t approximation = bands.approximation_length;
  std::size_t at = approximation;
  for (const std::size_t details : bands.details_lengths) {
    if (!plan.empty() && rules.expansive) {
      if (plan.back() < details || details > at) return {};
      approximation = details;  // trimmed, as multi_idwt_with_rules does
    }
    const auto length = level_length(inner, approximation, details, rules);
    if (!length || approximation == 0) return {};
    plan.push_back(*length);
    at += details;
    approximation = *length;
  }
  if (plan.empty() || at != bands.values.size()) return {};
  for (const std::size_t length : plan) {
    if (length > plan.back()) return {};
  }
  return plan;
}

}  // namespace

// Every level writes into one array as long as the finest reconstruction, which becomes the
// result; a coarser reconstruction is moved to the front of the bands' array, where the bands
// it undid lay, so at most the bands and the result are held at once.
VibrelResult<std::vector<f32>> multi_idwt_consuming_with_rules(
    const IncompleteDwtExecutor<f32>& inner, MultiDwtStorage<f32>&& bands,
    const LevelRules& rules) {
  const std::vector<std::size_t> plan = in_array_plan(inner, bands, rules);
  if (plan.empty()) return multi_idwt_with_rules(inner, view_of(bands), rules);
  auto result = zeroed_vector<f32>(plan.back());
  if (!result) return result;
  const std::span<f32> all(bands.values);
  const std::vector<std::size_t>& lengths = bands.details_lengths;
  std::span<const f32> approximation = all.first(bands.approximation_length);
  std::size_t at = approximation.size();
  std::size_t dirty = 0;  // leading elements of the result a coarser level has written
  for (std::size_t i = 0;; ++i) {
    const std::span<f32> output = std::span<f32>(*result).first(plan[i]);
    // Executors add into their output, which must start at zero.
    std::fill_n(output.begin(), std::min(dirty, output.size()), 0.0f);
    auto done = inner.execute_inverse(approximation, all.subspan(at, lengths[i]), output);
    if (!done) return std::unexpected(done.error());
    dirty = std::max(dirty, plan[i]);
    if (i + 1 == lengths.size()) return result;
    at += lengths[i];
    const std::size_t next = rules.expansive ? lengths[i + 1] : plan[i];
    std::copy_n(output.begin(), next, all.begin());
    approximation = all.first(next);
  }
}

}  // namespace vibrel
