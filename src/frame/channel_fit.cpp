#include "frame/channel_fit.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "frame/channel_samples.hpp"
#include "predictive/byte_io.hpp"
#include "predictive/cost_estimate.hpp"

namespace tessarine::frame {
namespace {

constexpr std::size_t kSamplePoints = 4096;  // enough to rank predictors, cheap next to coding
constexpr int kFitLag = 8;  // lags tried, each way: leads see one event a few samples apart
constexpr std::uint8_t kShift = 12;
constexpr double kWorthIt = 0.97;  // the channel must get at least 3% cheaper

constexpr double kLeastCorrelation = 0.05;
// Below this, even the best source explains under a tenth of a channel's changes, which
// cannot make it 3% cheaper: the fit is skipped.
constexpr double kUsefulCorrelation = 0.3;

// A source channel seen `lag` samples earlier.
struct Feature {
  std::size_t source;
  int lag;
};

// Samples a run needs on each side: the largest lag, and two more for second differences.
constexpr std::size_t kMargin = kFitLag + 3;

Runs runs_of(std::size_t count) {
  constexpr std::size_t kRuns = 16;
  Runs runs;
  if (count < 2 * kMargin + 1) return runs;
  const std::size_t usable = count - 2 * kMargin;
  runs.length = std::min(usable, kSamplePoints / kRuns);
  for (std::size_t r = 0; r < kRuns; ++r) {
    runs.starts.push_back(kMargin + (usable - runs.length) * r / (kRuns - 1));
    if (runs.length == usable) break;
  }
  return runs;
}

// Every sample position of the runs.
std::vector<std::size_t> points_of(const Runs& runs) {
  std::vector<std::size_t> points;
  for (std::size_t start : runs.starts) {
    for (std::size_t t = start; t < start + runs.length; ++t) points.push_back(t);
  }
  return points;
}

// The change from one sample to the next at t - lag: roughly what a temporal predictor
// leaves of a signal, so sources are fitted to it rather than to the levels.
double change(const std::vector<std::int64_t>& x, std::size_t t, int lag) {
  const std::size_t at = t - static_cast<std::ptrdiff_t>(lag);
  return static_cast<double>(x[at] - x[at - 1]);
}

// A channel's changes over each run widened by the largest lag on both sides, laid out
// run after run: the lag scan then reads contiguous doubles.
std::vector<double> run_changes(const std::vector<std::int64_t>& x, const Runs& runs) {
  std::vector<double> changes;
  changes.reserve(runs.starts.size() * (runs.length + 2 * kFitLag));
  for (std::size_t start : runs.starts) {
    for (std::size_t t = start - kFitLag; t < start + runs.length + kFitLag; ++t) {
      changes.push_back(change(x, t, 0));
    }
  }
  return changes;
}

// Σ over the runs of target[i] · source[i - lag] and of source[i - lag]².
std::pair<double, double> lagged_sums(const std::vector<double>& target,
                                      const std::vector<double>& source, const Runs& runs,
                                      int lag) {
  const std::size_t stride = runs.length + 2 * kFitLag;
  double xy = 0, xx = 0;
  for (std::size_t r = 0; r < runs.starts.size(); ++r) {
    const double* y = target.data() + r * stride + kFitLag;
    const double* a = source.data() + r * stride + kFitLag - lag;
    for (std::size_t i = 0; i < runs.length; ++i) xy += y[i] * a[i], xx += a[i] * a[i];
  }
  return {xy, xx};
}

// The lagged earlier channels whose changes go most with the target's, strongest first.
std::vector<Feature> candidates(std::size_t index, std::span<const std::vector<std::int64_t>> channels,
                                const std::vector<bool>& allowed, const Runs& runs, int max_lag) {
  const auto target = run_changes(channels[index], runs);
  const double yy = std::inner_product(target.begin(), target.end(), target.begin(), 0.0);
  std::vector<std::pair<double, Feature>> scored;
  for (std::size_t j = 0; j < index && yy > 0; ++j) {
    if (!allowed[j]) continue;
    const auto source = run_changes(channels[j], runs);
    for (int lag = -max_lag; lag <= max_lag; ++lag) {
      const auto [xy, xx] = lagged_sums(target, source, runs, lag);
      const double correlation = xx > 0 ? std::fabs(xy) / std::sqrt(xx * yy) : 0.0;
      if (correlation > kLeastCorrelation) scored.push_back({-correlation, {j, lag}});
    }
  }
  std::sort(scored.begin(), scored.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<Feature> chosen;
  if (scored.empty() || -scored.front().first < kUsefulCorrelation) return chosen;
  for (std::size_t i = 0; i < scored.size() && i < kMostTerms; ++i) chosen.push_back(scored[i].second);
  return chosen;
}

// Least squares by the normal equations, a small ridge keeping them solvable.
std::vector<double> solve(std::vector<std::vector<double>> a, std::vector<double> b) {
  const std::size_t n = b.size();
  for (std::size_t i = 0; i < n; ++i) a[i][i] *= 1.0 + 1e-9;
  for (std::size_t col = 0; col < n; ++col) {
    std::size_t pivot = col;
    for (std::size_t r = col + 1; r < n; ++r) if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) pivot = r;
    std::swap(a[col], a[pivot]);
    std::swap(b[col], b[pivot]);
    if (a[col][col] == 0.0) return std::vector<double>(n, 0.0);
    for (std::size_t r = 0; r < n; ++r) {
      if (r == col) continue;
      const double factor = a[r][col] / a[col][col];
      for (std::size_t c = col; c < n; ++c) a[r][c] -= factor * a[col][c];
      b[r] -= factor * b[col];
    }
  }
  for (std::size_t i = 0; i < n; ++i) b[i] /= a[i][i];
  return b;
}

ChannelPredictor quantised(const std::vector<Feature>& sources, const std::vector<double>& weights) {
  ChannelPredictor predictor;
  predictor.shift = kShift;
  predictor.offset = 1 << (kShift - 1);
  constexpr double kLargest = double(1 << kMostShift);
  for (std::size_t i = 0; i < sources.size(); ++i) {
    const double scaled = std::clamp(std::nearbyint(weights[i] * (1 << kShift)), -kLargest, kLargest);
    if (std::isfinite(scaled) && scaled != 0.0) {
      predictor.terms.push_back({static_cast<std::uint32_t>(sources[i].source),
                                 static_cast<std::int8_t>(sources[i].lag),
                                 static_cast<std::int32_t>(scaled)});
    }
  }
  return predictor;
}

std::int64_t predicted(const ChannelPredictor& p, std::span<const std::vector<std::int64_t>> channels, std::size_t t) {
  std::int64_t sum = p.offset;
  for (const auto& term : p.terms) sum += term.coefficient * channels[term.source][t - term.lag];
  return sum >> p.shift;
}

// Estimated bits to code a signal's first or second differences (whichever is cheaper) in
// quantisation steps, as a temporal predictor would leave them.
template <class Value>
double coding_bits(const std::vector<std::size_t>& points, double step, const Value& value) {
  predictive::CodeCost first, second;
  const auto code = [step](double d) {
    const auto q = static_cast<std::int64_t>(std::nearbyint(d / step));
    return static_cast<std::uint64_t>(q < 0 ? -2 * q - 1 : 2 * q);
  };
  for (std::size_t t : points) {
    const double a = value(t), b = value(t - 1), c = value(t - 2);
    first.add(code(a - b));
    second.add(code(a - 2 * b + c));
  }
  return std::min(first.bits(), second.bits());
}

// The fitted predictor, and the same with coefficients on a coarse grid (exact relations
// between leads have simple weights, which noise in the fit blurs) with each rounding a
// recorder may have used.
std::vector<ChannelPredictor> variants(const ChannelPredictor& fitted) {
  constexpr std::int32_t kGrid = 1 << (kShift - 2), kSmall = 1 << (kShift - 4);
  ChannelPredictor snapped = fitted;
  std::erase_if(snapped.terms, [](const PredictorTerm& term) { return std::abs(term.coefficient) < kSmall; });
  for (PredictorTerm& term : snapped.terms) {
    term.coefficient = static_cast<std::int32_t>(std::lround(double(term.coefficient) / kGrid)) * kGrid;
  }
  std::erase_if(snapped.terms, [](const PredictorTerm& term) { return term.coefficient == 0; });
  std::vector<ChannelPredictor> all;
  if (!fitted.alone()) all.push_back(fitted);
  for (std::int32_t offset : {1 << (kShift - 1), 0, (1 << kShift) - 1}) {
    if (snapped.alone()) break;
    all.push_back(snapped);
    all.back().offset = offset;
  }
  return all;
}

// Least squares of the target's changes on its candidates', quantised.
ChannelPredictor fitted(std::size_t index, std::span<const std::vector<std::int64_t>> channels,
                        const std::vector<bool>& allowed, const Runs& runs,
                        const std::vector<std::size_t>& points, int max_lag) {
  const auto sources = candidates(index, channels, allowed, runs, max_lag);
  const std::size_t k = sources.size();
  if (k == 0) return {};
  std::vector<std::vector<double>> normal(k, std::vector<double>(k, 0.0));
  std::vector<double> right(k, 0.0);
  std::vector<double> row(k);
  for (std::size_t t : points) {
    const double target = change(channels[index], t, 0);
    for (std::size_t i = 0; i < k; ++i) row[i] = change(channels[sources[i].source], t, sources[i].lag);
    for (std::size_t i = 0; i < k; ++i) {
      right[i] += row[i] * target;
      for (std::size_t j = 0; j < k; ++j) normal[i][j] += row[i] * row[j];
    }
  }
  return quantised(sources, solve(std::move(normal), std::move(right)));
}

}  // namespace

FitSamples fit_samples(std::span<const predictive::SampleView> channels) {
  FitSamples samples;
  if (channels.empty()) return samples;
  const Runs runs = runs_of(channels[0].count);
  const std::size_t stride = runs.length + 2 * kMargin;
  for (std::size_t r = 0; r < runs.starts.size(); ++r)
    samples.runs.starts.push_back(r * stride + kMargin);
  samples.runs.length = runs.length;
  for (const predictive::SampleView& channel : channels) {
    std::vector<std::int64_t>& row = samples.channels.emplace_back();
    row.reserve(runs.starts.size() * stride);
    for (std::size_t start : runs.starts) {
      const predictive::SampleView around{predictive::sample_at(channel, start - kMargin), stride,
                                          channel.stride, channel.type};
      const auto values = widened(around);
      row.insert(row.end(), values.begin(), values.end());
    }
  }
  return samples;
}

ChannelFit fit_predictor(std::size_t index, const FitSamples& samples, double step,
                         const std::vector<bool>& sources) {
  const std::span<const std::vector<std::int64_t>> channels = samples.channels;
  const Runs& runs = samples.runs;
  const auto points = points_of(runs);
  const auto& x = channels[index];
  const double alone = coding_bits(points, step, [&](std::size_t t) { return static_cast<double>(x[t]); });
  ChannelPredictor best;
  double best_bits = kWorthIt * alone;
  // Lagged fits for leads that see one event at different times; a same-time fit for exact
  // relations between channels, which lags would blur.
  for (int max_lag : {kFitLag, 0}) {
    for (ChannelPredictor& predictor : variants(fitted(index, channels, sources, runs, points, max_lag))) {
      const double joint = coding_bits(points, step, [&](std::size_t t) {
        return static_cast<double>(x[t] - predicted(predictor, channels, t));
      });
      if (joint < best_bits) best = std::move(predictor), best_bits = joint;
    }
  }
  // Under a tenth of its cost alone: a derived channel, never a source for later ones.
  constexpr double kDerived = 0.1;
  const bool derived = !best.alone() && best_bits < kDerived * alone;
  return {std::move(best), derived};
}

}  // namespace tessarine::frame
