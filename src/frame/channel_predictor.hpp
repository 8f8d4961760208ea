#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tessarine::frame {

// One earlier channel's share of a prediction: coefficient / 2^shift of its samples, `lag`
// samples earlier (a negative lag reads later samples: the whole earlier channel is known).
struct PredictorTerm {
  std::uint32_t source = 0;
  std::int8_t lag = 0;
  std::int32_t coefficient = 0;
};

// An integer channel predicted from channels coded before it, in exact integer arithmetic so
// that encoder and decoder agree to the bit: p[t] = round(Σ coefficient · source[t] / 2^shift),
// halves rounded up. No terms: the channel is coded alone.
struct ChannelPredictor {
  std::vector<PredictorTerm> terms;
  std::uint8_t shift = 0;
  std::int32_t offset = 0;

  [[nodiscard]] bool alone() const { return terms.empty(); }
};

inline constexpr std::uint8_t kMostShift = 24;
inline constexpr std::size_t kMostTerms = 8;
inline constexpr int kMostLag = 16;

// Writes the prediction of every sample into `out`; `sources[i]` points at channel i's
// samples as decoding gives them (any of the channels a term names; out.size() of each).
void predict(const ChannelPredictor& predictor, std::span<const std::int64_t* const> sources,
             std::span<std::int64_t> out);

}  // namespace tessarine::frame
