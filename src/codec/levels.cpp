#include "codec/levels.hpp"

#include <algorithm>
#include <bit>

namespace tessarine {

namespace {
constexpr std::uint32_t kMaxEncoderLevels = 8;
}  // namespace

std::uint32_t compute_max_levels(std::size_t n, std::size_t filter_length) {
  if (filter_length == 0 || n < filter_length) return 1;
  const std::size_t q = n / filter_length;
  if (q == 1) return 1;
  const auto floor_log2 = static_cast<std::uint32_t>(std::bit_width(q) - 1);
  return std::min(floor_log2, kMaxEncoderLevels);
}

std::uint32_t decomposition_levels(std::size_t n, std::size_t filter_length) {
  if (n < 20) return 1;
  if (n < 40) return 2;
  if (n < 60) return 3;
  if (n < 80) return 4;
  return compute_max_levels(n, filter_length);
}

std::vector<vibrel::DwtSize> band_layout(const vibrel::DwtExecutor<float>& executor,
                                         std::size_t length, std::size_t levels) {
  std::vector<vibrel::DwtSize> layout;
  layout.reserve(levels);
  for (std::size_t level = 0; level < levels; ++level) {
    layout.push_back(executor.dwt_size(length));
    length = layout.back().approximation_length;
  }
  return layout;
}

std::uint64_t coefficient_count(const std::vector<vibrel::DwtSize>& layout) {
  if (layout.empty()) return 0;
  std::uint64_t count = layout.back().approximation_length;
  for (const vibrel::DwtSize& size : layout) count += size.details_length;
  return count;
}

}  // namespace tessarine
