#include "vibrel/multi_level.hpp"

#include <algorithm>
#include <new>
#include <utility>

#include "vibrel/alloc.hpp"

namespace vibrel {
namespace {

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

VibrelResult<std::vector<f32>> copy_of(std::span<const f32> values) {
  auto copy = zeroed_vector<f32>(values.size());
  if (copy) std::copy(values.begin(), values.end(), copy->begin());
  return copy;
}

// Decomposes `working` level by level; `visit(size, approximation, details)` receives every
// level. The approximation buffer and the working signal alternate, so each level allocates
// only its details band.
template <class Visit>
VibrelResult<void> descend(const IncompleteDwtExecutor<f32>& inner, std::vector<f32>& working,
                           std::size_t levels, const LevelRules& rules, Visit&& visit) {
  auto approximation = zeroed_vector<f32>(inner.dwt_size(working.size()).approximation_length);
  if (!approximation) return std::unexpected(approximation.error());
  for (std::size_t level = 0; level < levels; ++level) {
    if (working.size() < rules.min_length) {
      return std::unexpected(VibrelError::buffer_too_small_for_level());
    }
    const DwtSize size = inner.dwt_size(working.size());
    auto details = zeroed_vector<f32>(size.details_length);
    if (!details) return std::unexpected(details.error());
    try {
      approximation->resize(size.approximation_length);
    } catch (const std::bad_alloc&) {
      return std::unexpected(
          VibrelError::allocation_failure(size.approximation_length * sizeof(f32)));
    }
    if (auto done = inner.execute_forward(working, *approximation, *details); !done) {
      return std::unexpected(done.error());
    }
    std::swap(working, *approximation);
    if (auto kept = visit(std::move(*details)); !kept) return kept;
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
  auto working = copy_of(input);
  if (!working) return std::unexpected(working.error());
  std::vector<f32> last_details;
  auto done = descend(inner, *working, level, rules, [&](std::vector<f32>&& details) {
    last_details = std::move(details);
    return VibrelResult<void>{};
  });
  if (!done) return std::unexpected(done.error());
  return Dwt<f32>{std::move(*working), std::move(last_details)};
}

VibrelResult<MultiDwt<f32>> multi_dwt_with_rules(const IncompleteDwtExecutor<f32>& inner,
                                                 std::span<const f32> input,
                                                 std::size_t levels, const LevelRules& rules) {
  if (levels <= 1) {
    auto single = dwt_with_rules(inner, input, 1, rules);
    if (!single) return std::unexpected(single.error());
    MultiDwt<f32> result;
    result.levels.push_back(std::move(*single));
    return result;
  }
  auto working = copy_of(input);
  if (!working) return std::unexpected(working.error());
  MultiDwt<f32> result;
  try {
    result.levels.reserve(levels);
  } catch (const std::length_error&) {
    // More levels than memory can name: the length check below ends the descent long before.
  } catch (const std::bad_alloc&) {
  }
  auto done = descend(inner, *working, levels, rules,
                      [&](std::vector<f32>&& details) -> VibrelResult<void> {
                        auto approximations = copy_of(*working);
                        if (!approximations) return std::unexpected(approximations.error());
                        result.levels.push_back({std::move(*approximations), std::move(details)});
                        return {};
                      });
  if (!done) return std::unexpected(done.error());
  return result;
}

VibrelResult<std::vector<f32>> idwt_with_rules(const IncompleteDwtExecutor<f32>& inner,
                                               const DwtView<f32>& view,
                                               const LevelRules& rules) {
  const std::size_t a = view.approximations.size();
  const std::size_t d = view.details.size();
  std::size_t length = a + d;
  if (rules.expansive) {
    if (a != d) return std::unexpected(VibrelError::approx_details_mismatch(a, d));
    length = inner.idwt_size({d, d});
  }
  auto output = zeroed_vector<f32>(length);
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

}  // namespace vibrel
