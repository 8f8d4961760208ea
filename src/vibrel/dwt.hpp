#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "vibrel/kernel/sample.hpp"

namespace vibrel {

// One level of a decomposition; owns both bands.
template <class T>
struct Dwt {
  std::vector<T> approximations;
  std::vector<T> details;
};

// Result of a multi-level forward transform: levels[0] is the finest level, the last entry
// the coarsest. Each entry owns its own copy of that level's approximation band.
template <class T>
struct MultiDwt {
  std::vector<Dwt<T>> levels;
};

struct DwtSize {
  std::size_t approximation_length;
  std::size_t details_length;

  friend bool operator==(const DwtSize&, const DwtSize&) = default;
};

// Borrowed input of a single-level inverse.
template <class T>
struct DwtView {
  std::span<const T> approximations;
  std::span<const T> details;
};

// Borrowed input of a multi-level inverse: details finest first, then the coarsest
// approximation band.
template <class T>
struct MultiDwtView {
  std::vector<std::span<const T>> details;
  std::span<const T> approximation;
};

// The view a multi-level inverse needs to undo `result`: every details band, finest first, and
// the coarsest approximation. Borrows from `result`, which must outlive the view.
template <class T>
[[nodiscard]] MultiDwtView<T> view_of(const MultiDwt<T>& result) {
  MultiDwtView<T> view;
  view.details.reserve(result.levels.size());
  for (const auto& level : result.levels) view.details.emplace_back(level.details);
  if (!result.levels.empty()) view.approximation = result.levels.back().approximations;
  return view;
}

}  // namespace vibrel
