#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "predictive/sample_type.hpp"

namespace tessarine::frame {

// Channels × samples of one type, any strides (in bytes): row c, sample t lies at
// data + c·channel_stride + t·sample_stride.
struct ChannelsView {
  const std::byte* data = nullptr;
  std::size_t channels = 0;
  std::size_t count = 0;  // samples per channel
  std::ptrdiff_t channel_stride = 0;
  std::ptrdiff_t sample_stride = 0;
  predictive::SampleType type{};

  [[nodiscard]] predictive::SampleView channel(std::size_t c) const {
    return {data + static_cast<std::ptrdiff_t>(c) * channel_stride, count, sample_stride, type};
  }
};

// Integer types whose channels may be predicted from each other: sums of a few weighted
// samples stay far inside int64.
[[nodiscard]] inline bool joins(predictive::SampleType type) {
  return type.kind != 'f' && type.size <= 4;
}

// A channel's integer samples widened to int64.
[[nodiscard]] std::vector<std::int64_t> widened(const predictive::SampleView& samples);
// The same into `values`, whose memory is reused when it is large enough.
void widen_into(const predictive::SampleView& samples, std::vector<std::int64_t>& values);

// Values clamped into `type`'s range, written as its samples (native order) into `out`.
void narrow_into(std::span<const std::int64_t> values, predictive::SampleType type,
                 std::span<std::byte> out);

// Residuals plus their prediction, clamped into `type`'s range in place (a sum past int64
// counts as past the range): what a predicted channel decodes to.
void add_prediction(std::span<std::int64_t> values, std::span<const std::int64_t> prediction,
                    predictive::SampleType type);

// Values of a stored residual of `type` (int32 or int64), widened.
[[nodiscard]] std::vector<std::int64_t> widened_bytes(std::span<const std::byte> bytes,
                                                      predictive::SampleType type);

}  // namespace tessarine::frame
