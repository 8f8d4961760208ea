#include "frame/channel_predictor.hpp"

#include <algorithm>
#include <array>

namespace tessarine::frame {

void predict(const ChannelPredictor& predictor, std::span<const std::int64_t* const> sources,
             std::span<std::int64_t> out) {
  const auto n = static_cast<std::ptrdiff_t>(out.size());
  const std::size_t terms = std::min(predictor.terms.size(), kMostTerms);
  // Where every term reads inside its source: [low, high). There all terms go into a sample in
  // one pass; the few samples outside read with their indices held inside the signal.
  std::ptrdiff_t low = 0;
  std::ptrdiff_t high = n;
  std::array<const std::int64_t*, kMostTerms> source{};
  std::array<std::ptrdiff_t, kMostTerms> lag{};
  std::array<std::int64_t, kMostTerms> coefficient{};
  for (std::size_t k = 0; k < terms; ++k) {
    const PredictorTerm& term = predictor.terms[k];
    low = std::max<std::ptrdiff_t>(low, term.lag);
    high = std::min<std::ptrdiff_t>(high, n + term.lag);
    source[k] = sources[term.source];
    lag[k] = term.lag;
    coefficient[k] = term.coefficient;
  }
  low = std::min(low, n);
  high = std::max(high, low);
  // One sample's prediction, each term reading its source at index(t - lag).
  const auto predicted = [&](std::ptrdiff_t t, auto index) {
    std::int64_t sum = predictor.offset;
    for (std::size_t k = 0; k < terms; ++k) sum += coefficient[k] * source[k][index(t - lag[k])];
    return sum >> predictor.shift;  // arithmetic: floor division by 2^shift on every host
  };
  const auto inside = [](std::ptrdiff_t i) { return i; };
  const auto held = [n](std::ptrdiff_t i) { return std::clamp<std::ptrdiff_t>(i, 0, n - 1); };
  for (std::ptrdiff_t t = 0; t < low; ++t) out[t] = predicted(t, held);
  for (std::ptrdiff_t t = low; t < high; ++t) out[t] = predicted(t, inside);
  for (std::ptrdiff_t t = high; t < n; ++t) out[t] = predicted(t, held);
}

}  // namespace tessarine::frame
