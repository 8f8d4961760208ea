#include "frame/channel_predictor.hpp"

#include <algorithm>

namespace tessarine::frame {

void predict(const ChannelPredictor& predictor, std::span<const std::int64_t* const> sources,
             std::span<std::int64_t> out) {
  std::fill(out.begin(), out.end(), std::int64_t{predictor.offset});
  const auto last = static_cast<std::ptrdiff_t>(out.size()) - 1;
  for (const PredictorTerm& term : predictor.terms) {
    const std::int64_t* source = sources[term.source];
    const std::ptrdiff_t lag = term.lag;
    // The middle without bounds checks, the ends with their indices held inside the signal.
    const std::ptrdiff_t begin = std::clamp<std::ptrdiff_t>(lag, 0, last + 1);
    const std::ptrdiff_t end = std::clamp<std::ptrdiff_t>(last + 1 + lag, begin, last + 1);
    for (std::ptrdiff_t t = 0; t < begin; ++t) out[t] += term.coefficient * source[std::clamp(t - lag, std::ptrdiff_t{0}, last)];
    for (std::ptrdiff_t t = begin; t < end; ++t) out[t] += term.coefficient * source[t - lag];
    for (std::ptrdiff_t t = end; t <= last; ++t) out[t] += term.coefficient * source[std::clamp(t - lag, std::ptrdiff_t{0}, last)];
  }
  // Arithmetic shift: floor division by 2^shift, the same on every host.
  for (std::int64_t& value : out) value >>= predictor.shift;
}

}  // namespace tessarine::frame
