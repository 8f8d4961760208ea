#pragma once

// The filter's client data values (HDF5's cd_values), documented in docs/format.md. The first
// kUserValues are what a writer gives; the filter's set_local callback appends what decoding
// needs (dtype, byte order, chunk shape), so every chunk decodes from the file alone.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "capi/tessarine.h"

namespace tessarine::hdf5 {

inline constexpr unsigned kFilterId = 386;  // provisional: HDF5's range for unregistered filters
inline constexpr unsigned kLayoutVersion = 1;
inline constexpr std::size_t kUserValues = 10;

enum class Mode : unsigned { Frame = 0, Container = 1 };

// The dataset's element type as HDF5 describes it: NumPy's kind letter and size, byte order.
struct ElementType {
  char kind = 'f';
  unsigned size = 4;
  bool big_endian = false;
};

struct FilterSettings {
  Mode mode = Mode::Frame;
  tessarine_bound bound{};                  // Mode::Frame
  tessarine_container_settings container{};  // Mode::Container
  std::optional<ElementType> element;       // set once set_local has run
  std::int32_t axis = -1;                  // the lanes' axis; negative counts from the end
  std::vector<std::uint64_t> chunk;         // chunk shape, slowest axis first

  // The lanes' axis as an index into `chunk`, or nothing if it names no axis of it.
  [[nodiscard]] std::optional<std::size_t> lane_axis() const;
  // Samples per lane and lanes per chunk; the chunk's elements before and after the lane axis.
  [[nodiscard]] std::uint64_t lane_length() const;
  [[nodiscard]] std::uint64_t lane_count() const { return before_axis() * after_axis(); }
  [[nodiscard]] std::uint64_t before_axis() const;
  [[nodiscard]] std::uint64_t after_axis() const;
};

// Nothing for values a writer of this version cannot have made.
[[nodiscard]] std::optional<FilterSettings> parse_settings(std::span<const unsigned> values);

// The user values of `settings` followed by its element type and chunk shape.
[[nodiscard]] std::vector<unsigned> local_values(const FilterSettings& settings);

// The C API's dtype for an element type, if it carries one.
[[nodiscard]] std::optional<tessarine_dtype> dtype_of(const ElementType& element);

}  // namespace tessarine::hdf5
