#pragma once

#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace tessarine::predictive {

// Block predictors, numbered as the chunk header stores them (two bits per block).
enum class Predictor : std::uint8_t { Zero = 0, Previous = 1, Linear = 2, Quadratic = 3 };
inline constexpr std::size_t kPredictorCount = 4;

// Samples per predictor choice.
inline constexpr std::size_t kBlock = 1024;

// Mean |prediction noise| per unit of the reconstruction error bound, when every
// reconstruction is off by a uniform error in [-e, e]: weights 1, |2,-1|, |3,-3,1|.
inline constexpr std::array<double, kPredictorCount> kNoiseGain = {0.0, 0.5, 1.0, 2.0};

// The last three reconstructions, newest first; zero at a chunk's start.
template <class V>
struct History {
  V a{}, b{}, c{};
  void push(V y) {
    c = b;
    b = a;
    a = y;
  }
};

// Extrapolation of order 0..3. Unsigned V wraps, which is exact modulo 2^64. The operation order
// is the one the decoder repeats.
template <Predictor P, class V>
inline V predict(const History<V>& h) {
  if constexpr (P == Predictor::Zero) {
    return V{};
  } else if constexpr (P == Predictor::Previous) {
    return h.a;
  } else if constexpr (P == Predictor::Linear) {
    return h.a + (h.a - h.b);
  } else {
    return V(3) * (h.a - h.b) + h.c;
  }
}

// Calls f.template operator()<P>() for the runtime predictor: one loop per predictor.
template <class F>
inline decltype(auto) with_predictor(Predictor p, F&& f) {
  switch (p) {
    case Predictor::Zero:
      return f.template operator()<Predictor::Zero>();
    case Predictor::Previous:
      return f.template operator()<Predictor::Previous>();
    case Predictor::Linear:
      return f.template operator()<Predictor::Linear>();
    case Predictor::Quadratic:
      break;
  }
  return f.template operator()<Predictor::Quadratic>();
}

// Sum of |residual| of every predictor over x[0, n), from history h (on the original samples).
template <class V, class Magnitude>
inline std::array<double, kPredictorCount> residual_sums(const V* x, std::size_t n, History<V> h,
                                                         Magnitude magnitude) {
  std::array<double, kPredictorCount> sums{};
  for (std::size_t i = 0; i < n; ++i) {
    sums[0] += magnitude(x[i] - predict<Predictor::Zero>(h));
    sums[1] += magnitude(x[i] - predict<Predictor::Previous>(h));
    sums[2] += magnitude(x[i] - predict<Predictor::Linear>(h));
    sums[3] += magnitude(x[i] - predict<Predictor::Quadratic>(h));
    h.push(x[i]);
  }
  return sums;
}

// Per predictor, the sum over x[0, n) of rough_log2(1 + |residual| * inverse_step) on the
// original samples, n <= kBlock. The history is read from x[-3..-1], so the caller pads a
// chunk's start with zeros. Summed as integers in units of 2^-32 bits: baseline SSE2 has no
// packed int64-to-double conversion, and integer sums let the loop run two samples a vector
// (each term is below 2^43, so 1024 of them fit).
inline std::array<double, kPredictorCount> log_residual_sums(const double* x, std::size_t n,
                                                             double inverse_step) {
  constexpr unsigned kDropped = 20;  // of the 52 fraction bits
  // 1.0's low 20 bits are zero, so (bits - one) >> 20 sums as bits >> 20 less one >> 20 per
  // term (modulo 2^64, exactly), which leaves one subtraction per block instead of per term.
  const auto units = [&](double r) {
    return std::bit_cast<std::uint64_t>(1.0 + std::fabs(r) * inverse_step) >> kDropped;
  };
  std::uint64_t zero = 0, previous = 0, linear = 0, quadratic = 0;
  // A signed index: x[-1] is read through a negative offset, never a wrapped unsigned one.
  for (std::ptrdiff_t i = 0; i < static_cast<std::ptrdiff_t>(n); ++i) {
    const double v = x[i], a = x[i - 1], b = x[i - 2], c = x[i - 3];
    zero += units(v);
    previous += units(v - a);
    linear += units(v - (a + (a - b)));
    quadratic += units(v - (3.0 * (a - b) + c));
  }
  const std::uint64_t ones = n * (std::bit_cast<std::uint64_t>(1.0) >> kDropped);
  constexpr double kUnit = 0x1p-32;
  return {static_cast<double>(zero - ones) * kUnit, static_cast<double>(previous - ones) * kUnit,
          static_cast<double>(linear - ones) * kUnit,
          static_cast<double>(quadratic - ones) * kUnit};
}

// The predictor with the least estimated cost: residual sums plus the noise each one adds
// (`noise`: what one unit of noise gain costs per sample, in the sums' units). Predictors below
// `lowest` are not candidates.
inline Predictor cheapest_predictor(const std::array<double, kPredictorCount>& sums, std::size_t n,
                                    double noise, Predictor lowest = Predictor::Zero) {
  std::size_t best = kPredictorCount - 1;
  double best_cost = HUGE_VAL;
  for (std::size_t k = static_cast<std::size_t>(lowest); k < kPredictorCount; ++k) {
    const double cost = sums[k] + static_cast<double>(n) * noise * kNoiseGain[k];
    if (cost < best_cost) {
      best = k;
      best_cost = cost;
    }
  }
  return static_cast<Predictor>(best);
}

// History as it stands before x[begin]: the originals just before it (zero before the chunk).
template <class V>
inline History<V> history_before(const V* x, std::size_t begin) {
  History<V> h;
  if (begin >= 3) h.c = x[begin - 3];
  if (begin >= 2) h.b = x[begin - 2];
  if (begin >= 1) h.a = x[begin - 1];
  return h;
}

// Codes: zero is the escape marker; a quantisation index q is zigzag(q) + 1.
inline constexpr std::uint64_t kEscapeCode = 0;

inline std::uint64_t zigzag(std::int64_t v) {
  return (static_cast<std::uint64_t>(v) << 1) ^ static_cast<std::uint64_t>(v >> 63);
}
inline std::int64_t unzigzag(std::uint64_t u) {
  return static_cast<std::int64_t>((u >> 1) ^ (0 - (u & 1)));
}

// log2(v) for v >= 1, to within 0.09: the exponent plus the mantissa read as a fraction. The
// difference of bit patterns is below 2^63, so the signed conversion (one instruction, unlike
// the unsigned one) gives the same value.
inline double rough_log2(double v) {
  const auto bits = static_cast<std::int64_t>(std::bit_cast<std::uint64_t>(v) - std::bit_cast<std::uint64_t>(1.0));
  return static_cast<double>(bits) * 0x1p-52;
}

}  // namespace tessarine::predictive
