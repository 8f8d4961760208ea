#pragma once

#include <algorithm>
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

// Every band of a multi-level decomposition in one array, for an inverse that may reuse it:
// the coarsest approximation, then the details from the coarsest level to the finest. With
// bands in this order each level's two bands lie side by side, followed by the finer details.
template <class T>
struct MultiDwtStorage {
  std::vector<T> values;
  std::size_t approximation_length = 0;
  std::vector<std::size_t> details_lengths;  // coarsest first
};

// The view of `bands` that multi_idwt takes. Borrows from `bands`.
template <class T>
[[nodiscard]] MultiDwtView<T> view_of(const MultiDwtStorage<T>& bands) {
  MultiDwtView<T> view;
  const std::span<const T> all(bands.values);
  view.approximation = all.first(std::min(bands.approximation_length, all.size()));
  std::size_t at = view.approximation.size();
  view.details.resize(bands.details_lengths.size());
  for (std::size_t i = 0; i < bands.details_lengths.size(); ++i) {
    const std::size_t length = std::min(bands.details_lengths[i], all.size() - at);
    view.details[view.details.size() - 1 - i] = all.subspan(at, length);
    at += length;
  }
  return view;
}

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
