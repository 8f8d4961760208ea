#include "hdf5_filter/client_data.hpp"

#include <bit>
#include <cmath>

namespace tessarine::hdf5 {
namespace {

// Indices of the user values.
constexpr std::size_t kVersion = 0, kMode = 1, kFlags = 2, kMaxError = 3, kRelError = 5,
                      kPsnr = 7, kAxis = 9;
// Container settings share the slots after the mode.
constexpr std::size_t kMethod = 2, kScale = 3, kCutoff = 4, kCoder = 5;
// Appended by set_local.
constexpr std::size_t kKind = kUserValues, kSize = kKind + 1, kOrder = kKind + 2,
                      kRank = kKind + 3, kDims = kKind + 4;

// A float64 travels as two values, low 32 bits first.
double read_double(std::span<const unsigned> values, std::size_t at) {
  const std::uint64_t bits = std::uint64_t{values[at]} | std::uint64_t{values[at + 1]} << 32;
  return std::bit_cast<double>(bits);
}

void write_double(std::vector<unsigned>& values, std::size_t at, double value) {
  const auto bits = std::bit_cast<std::uint64_t>(value);
  values[at] = static_cast<unsigned>(bits & 0xffffffffu);
  values[at + 1] = static_cast<unsigned>(bits >> 32);
}

std::optional<ElementType> read_element(std::span<const unsigned> values) {
  const ElementType element{static_cast<char>(values[kKind]), values[kSize], values[kOrder] == 1};
  if (values[kOrder] > 1 || !dtype_of(element)) return std::nullopt;
  return element;
}

}  // namespace

std::optional<std::size_t> FilterSettings::lane_axis() const {
  const std::int64_t rank = static_cast<std::int64_t>(chunk.size());
  const std::int64_t index = axis < 0 ? rank + axis : axis;
  if (index < 0 || index >= rank) return std::nullopt;
  return static_cast<std::size_t>(index);
}

std::uint64_t FilterSettings::lane_length() const {
  const auto index = lane_axis();
  return index ? chunk[*index] : 0;
}

std::uint64_t FilterSettings::before_axis() const {
  std::uint64_t count = 1;
  for (std::size_t i = 0; i < lane_axis().value_or(0); ++i) count *= chunk[i];
  return count;
}

std::uint64_t FilterSettings::after_axis() const {
  std::uint64_t count = 1;
  for (std::size_t i = lane_axis().value_or(chunk.size()) + 1; i < chunk.size(); ++i) count *= chunk[i];
  return count;
}

std::optional<tessarine_dtype> dtype_of(const ElementType& element) {
  constexpr std::pair<char, tessarine_dtype> kFirst[] = {
      {'f', TESSARINE_FLOAT16}, {'i', TESSARINE_INT8}, {'u', TESSARINE_UINT8}};
  for (const auto& [kind, first] : kFirst) {
    if (kind != element.kind) continue;
    // Sizes run 2, 4, 8 for floats and 1, 2, 4, 8 for integers, in enum order.
    const unsigned smallest = kind == 'f' ? 2 : 1;
    for (unsigned size = smallest, step = 0; size <= 8; size *= 2, ++step) {
      if (size == element.size) return static_cast<tessarine_dtype>(first + step);
    }
  }
  return std::nullopt;
}

std::optional<FilterSettings> parse_settings(std::span<const unsigned> values) {
  if (values.size() < kUserValues || values[kVersion] != kLayoutVersion) return std::nullopt;
  FilterSettings settings;
  if (values[kMode] == static_cast<unsigned>(Mode::Frame)) {
    settings.bound = {values[kFlags], read_double(values, kMaxError), read_double(values, kRelError),
                      read_double(values, kPsnr)};
  } else if (values[kMode] == static_cast<unsigned>(Mode::Container)) {
    settings.mode = Mode::Container;
    settings.container = {static_cast<tessarine_method>(values[kMethod]), values[kScale],
                          static_cast<tessarine_cutoff>(values[kCutoff]),
                          static_cast<tessarine_coder>(values[kCoder])};
  } else {
    return std::nullopt;
  }
  settings.axis = static_cast<std::int32_t>(values[kAxis]);  // two's complement
  if (values.size() == kUserValues) return settings;
  if (values.size() < kDims || values[kRank] < 1 || values.size() != kDims + values[kRank]) {
    return std::nullopt;
  }
  settings.element = read_element(values);
  if (!settings.element) return std::nullopt;
  for (std::size_t i = 0; i < values[kRank]; ++i) settings.chunk.push_back(values[kDims + i]);
  if (!settings.lane_axis()) return std::nullopt;
  return settings;
}

std::vector<unsigned> local_values(const FilterSettings& settings) {
  std::vector<unsigned> values(kUserValues, 0);
  values[kVersion] = kLayoutVersion;
  values[kMode] = static_cast<unsigned>(settings.mode);
  if (settings.mode == Mode::Frame) {
    values[kFlags] = settings.bound.flags;
    write_double(values, kMaxError, settings.bound.max_error);
    write_double(values, kRelError, settings.bound.rel_error);
    write_double(values, kPsnr, settings.bound.psnr);
  } else {
    values[kMethod] = settings.container.method;
    values[kScale] = settings.container.scale;
    values[kCutoff] = settings.container.cutoff;
    values[kCoder] = settings.container.coder;
  }
  values[kAxis] = static_cast<unsigned>(settings.axis);
  if (!settings.element) return values;
  values.push_back(static_cast<unsigned char>(settings.element->kind));
  values.push_back(settings.element->size);
  values.push_back(settings.element->big_endian ? 1 : 0);
  values.push_back(static_cast<unsigned>(settings.chunk.size()));
  for (const std::uint64_t dim : settings.chunk) values.push_back(static_cast<unsigned>(dim));
  return values;
}

}  // namespace tessarine::hdf5
