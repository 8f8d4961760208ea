#include "frame/channels_frame.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "frame/channel_fit.hpp"
#include "frame/channel_table.hpp"
#include "frame/sample_range.hpp"

namespace tessarine::frame {
namespace {

using predictive::PredictiveError;
using predictive::SampleType;
using predictive::SampleView;

using Rows = std::vector<std::vector<std::int64_t>>;

// What coding one channel leaves: its frame, its predictor and the error its decoding has.
struct CodedChannel {
  std::vector<std::uint8_t> frame;
  ChannelPredictor predictor;
  double largest_error = 0.0;
};

// The largest error a frame just made records in its header.
double largest_error_of(std::span<const std::uint8_t> frame) {
  const auto header = read_header(frame);
  return header ? header->largest_error : 0.0;
}

double step_of(double limit) { return limit >= 1.0 ? 2.0 * std::floor(limit) + 1.0 : 1.0; }

// A channel frame's samples widened; a failure keeps the block it names.
using Values = std::expected<std::vector<std::int64_t>, DecodeFailure>;

Values decoded_values(std::span<const std::uint8_t> frame) {
  const auto fail = [](const PredictiveError& error) {
    return std::unexpected(DecodeFailure{error, DecodeFailure::kNoBlock, 0});
  };
  const auto parsed = parse_frame(frame, Verify::Layout);
  if (!parsed) return fail(parsed.error());
  try {
    std::vector<std::byte> bytes(parsed->header.count * parsed->header.type.size);
    const auto decoded = decode_frame(*parsed, bytes);
    if (!decoded) return std::unexpected(decoded.error());
    return widened_bytes(bytes, parsed->header.type);
  } catch (const std::bad_alloc&) {
    return fail(PredictiveError::out_of_memory());
  }
}

// The residual of a predicted channel, as int32 when every value fits.
SampleType residual_type(std::span<const std::int64_t> residual) {
  const auto [low, high] = std::minmax_element(residual.begin(), residual.end());
  const bool narrow = residual.empty() || (*low >= std::numeric_limits<std::int32_t>::min() &&
                                           *high <= std::numeric_limits<std::int32_t>::max());
  return {'i', static_cast<std::uint8_t>(narrow ? 4 : 8)};
}

// Working arrays of a predicted channel, kept from channel to channel: fresh arrays of this size
// fault in page by page, which cost more than predicting a channel.
struct PredictionBuffers {
  std::vector<std::int64_t> prediction;
  std::vector<std::int64_t> residual;
  std::vector<std::byte> stored;
};

PredictiveResult<CodedChannel> code_predicted(std::span<const std::int64_t> original,
                                              std::span<const std::int64_t* const> sources,
                                              ChannelPredictor predictor, double limit,
                                              const BlockOptions& options,
                                              PredictionBuffers& buffers) {
  const std::size_t count = original.size();
  buffers.prediction.resize(count);
  buffers.residual.resize(count);
  predict(predictor, sources, buffers.prediction);
  std::span<std::int64_t> residual = buffers.residual;
  for (std::size_t t = 0; t < count; ++t) residual[t] = original[t] - buffers.prediction[t];
  const SampleType type = residual_type(residual);
  buffers.stored.resize(std::max(buffers.stored.size(), count * type.size));
  const std::span<std::byte> stored = std::span(buffers.stored).first(count * type.size);
  narrow_into(residual, type, stored);
  Bound bound;
  bound.max_error = limit;
  auto frame = compress_bounded({stored.data(), count, type.size, type}, bound, options);
  if (!frame) return std::unexpected(frame.error());
  const double largest = largest_error_of(*frame);
  return CodedChannel{std::move(*frame), std::move(predictor), largest};
}

PredictiveResult<CodedChannel> code_alone_channel(const SampleView& samples, const Bound& bound,
                                                  const BlockOptions& options) {
  auto frame = compress_bounded(samples, bound, options);
  if (!frame) return std::unexpected(frame.error());
  const double largest = largest_error_of(*frame);
  return CodedChannel{std::move(*frame), {}, largest};
}

// The channel's samples as the decoder will rebuild them, for channels predicted from it.
PredictiveResult<std::vector<std::int64_t>> rebuilt(const CodedChannel& coded,
                                                    const std::vector<std::int64_t>& prediction,
                                                    SampleType type) {
  auto values = decoded_values(coded.frame);
  if (!values) return std::unexpected(values.error().error);
  if (coded.predictor.alone()) return std::move(*values);
  add_prediction(*values, prediction, type);  // as the decoder does
  return std::move(*values);
}

// Each channel as decoding gives it, made only when a later channel is predicted from it: a
// recording whose channels share nothing is never widened whole.
class DecodedRows {
 public:
  explicit DecodedRows(const ChannelsView& view)
      : view_(view), rows_(view.channels), values_(view.channels) {}

  // The next channel as it was coded: exact (its samples) or through its frame (lossy).
  void coded(bool exact, const std::vector<std::uint8_t>* frame) {
    exact_.push_back(exact);
    frames_.push_back(frame);
  }
  // A predicted channel's values, known from its coding.
  void keep(std::size_t c, std::vector<std::int64_t> values) {
    values_[c] = std::move(values);
    rows_[c] = values_[c].data();
  }
  // Makes every source of `predictor` available.
  [[nodiscard]] PredictiveResult<void> need(const ChannelPredictor& predictor) {
    for (const PredictorTerm& term : predictor.terms) {
      const std::size_t j = term.source;
      if (rows_[j] != nullptr) continue;
      if (exact_[j]) {
        values_[j] = widened(view_.channel(j));
      } else {
        auto values = decoded_values(*frames_[j]);
        if (!values) return std::unexpected(values.error().error);
        values_[j] = std::move(*values);
      }
      rows_[j] = values_[j].data();
    }
    return {};
  }
  [[nodiscard]] std::span<const std::int64_t* const> rows() const { return rows_; }

 private:
  const ChannelsView& view_;
  std::vector<const std::int64_t*> rows_;
  Rows values_;
  std::vector<bool> exact_;
  std::vector<const std::vector<std::uint8_t>*> frames_;
};

PredictiveResult<std::vector<CodedChannel>> code_jointly(const ChannelsView& view,
                                                         std::span<const Bound> bounds,
                                                         const BlockOptions& options) {
  std::vector<SampleView> channels;
  for (std::size_t c = 0; c < view.channels; ++c) channels.push_back(view.channel(c));
  const FitSamples samples = fit_samples(channels);
  DecodedRows decoded(view);
  std::vector<CodedChannel> coded;
  coded.reserve(view.channels);          // the rows point at the frames
  PredictionBuffers buffers;             // sized by the first predicted channel
  std::vector<std::int64_t> spare;       // samples no later channel reads, reused for the next one
  std::vector<bool> sources(view.channels, false);  // channels later ones may be predicted from
  for (std::size_t c = 0; c < view.channels; ++c) {
    const Bound& bound = bounds[bounds.size() == 1 ? 0 : c];
    // Only a relative bound needs the channel's range: a pass over it saved otherwise.
    const double span = bound.has_rel_error() ? sample_range(channels[c]).span() : 0.0;
    const double limit = per_sample_limit(bound, span);
    // Fitted on the samples themselves: an estimate, whatever decoding later gives.
    ChannelFit fit = c == 0 ? ChannelFit{} : fit_predictor(c, samples, step_of(limit), sources);
    ChannelPredictor predictor = std::move(fit.predictor);
    sources[c] = !fit.derived;
    if (predictor.alone()) {
      auto channel = code_alone_channel(channels[c], bound, options);
      if (!channel) return std::unexpected(channel.error());
      coded.push_back(std::move(*channel));
      decoded.coded(limit < 1.0, &coded.back().frame);
      continue;
    }
    const auto ready = decoded.need(predictor);
    if (!ready) return std::unexpected(ready.error());
    std::vector<std::int64_t> original = std::move(spare);
    widen_into(channels[c], original);
    auto channel =
        code_predicted(original, decoded.rows(), std::move(predictor), limit, options, buffers);
    if (!channel) return std::unexpected(channel.error());
    coded.push_back(std::move(*channel));
    decoded.coded(limit < 1.0, &coded.back().frame);
    if (limit >= 1.0) {  // lossy: later channels are predicted from what decoding gives
      auto values = rebuilt(coded.back(), buffers.prediction, view.type);
      if (!values) return std::unexpected(values.error());
      decoded.keep(c, std::move(*values));
    }
    if (limit < 1.0 && !fit.derived) {
      decoded.keep(c, std::move(original));  // exact: a later channel may be predicted from it
    } else {
      spare = std::move(original);
    }
  }
  return coded;
}

PredictiveResult<std::vector<CodedChannel>> code_alone(const ChannelsView& view,
                                                       std::span<const Bound> bounds,
                                                       const BlockOptions& options) {
  std::vector<CodedChannel> coded;
  for (std::size_t c = 0; c < view.channels; ++c) {
    auto channel = code_alone_channel(view.channel(c), bounds[bounds.size() == 1 ? 0 : c], options);
    if (!channel) return std::unexpected(channel.error());
    coded.push_back(std::move(*channel));
  }
  return coded;
}

PredictiveResult<std::vector<std::uint8_t>> assembled(const ChannelsView& view, Bound bound,
                                                      const std::vector<CodedChannel>& coded) {
  std::vector<ChannelEntry> entries;
  double largest = 0.0;
  std::size_t size = 0;
  for (const CodedChannel& channel : coded) {
    entries.push_back({channel.predictor, 0, channel.frame.size()});
    largest = std::max(largest, channel.largest_error);
    size += channel.frame.size();
  }
  auto body = pack_channel_table(view.count, entries);
  if (!body) return body;
  body->reserve(body->size() + size);
  for (const CodedChannel& channel : coded) body->insert(body->end(), channel.frame.begin(), channel.frame.end());
  const FrameHeader header{view.type, view.channels * view.count, bound, BodyKind::Channels, largest};
  return pack_frame(header, *body);
}

// The bound the outer header names: the one given, or the largest per-channel max_error.
Bound header_bound(std::span<const Bound> bounds) {
  if (bounds.size() == 1) return bounds[0];
  Bound bound;
  for (const Bound& b : bounds) bound.max_error = std::isnan(bound.max_error) ? b.max_error : std::max(bound.max_error, b.max_error);
  return bound;
}

}  // namespace

PredictiveResult<std::vector<std::uint8_t>> compress_channels(const ChannelsView& view,
                                                              std::span<const Bound> bounds,
                                                              const BlockOptions& options,
                                                              bool joint) {
  if (!view.type.is_valid()) return std::unexpected(PredictiveError::bad_argument("unsupported sample type"));
  if (view.channels == 0 || view.channels > std::numeric_limits<std::uint32_t>::max() ||
      view.count > std::numeric_limits<std::uint64_t>::max() / view.channels) {
    return std::unexpected(PredictiveError::bad_argument("between 1 and 2^32 - 1 channels"));
  }
  if (bounds.size() != 1 && bounds.size() != view.channels) {
    return std::unexpected(PredictiveError::bad_argument("one bound, or one per channel"));
  }
  const bool psnr = std::any_of(bounds.begin(), bounds.end(), [](const Bound& b) { return b.has_psnr(); });
  const bool per_channel = bounds.size() > 1 && std::any_of(bounds.begin(), bounds.end(), [](const Bound& b) { return !b.has_max_error() || b.has_rel_error(); });
  if (per_channel) return std::unexpected(PredictiveError::bad_argument("bounds per channel are max_error only"));
  try {
    auto coded = joint && joins(view.type) && view.channels > 1 && !psnr
                     ? code_jointly(view, bounds, options)
                     : code_alone(view, bounds, options);
    if (!coded) return std::unexpected(coded.error());
    return assembled(view, header_bound(bounds), *coded);
  } catch (const std::bad_alloc&) {
    return std::unexpected(PredictiveError::out_of_memory());
  }
}

namespace {

// Every channel `wanted` needs, itself included: a predicted channel needs its sources.
std::vector<bool> needed_channels(const ChannelLayout& layout, std::span<const std::size_t> wanted) {
  std::vector<bool> needed(layout.channels.size(), false);
  for (std::size_t c : wanted) needed[c] = true;
  for (std::size_t c = layout.channels.size(); c-- > 0;) {
    if (!needed[c]) continue;
    for (const PredictorTerm& term : layout.channels[c].predictor.terms) needed[term.source] = true;
  }
  return needed;
}

Values channel_values(const FrameView& frame, const Rows& rows, std::size_t c) {
  const ChannelEntry& entry = frame.channels.channels[c];
  auto values = decoded_values(frame.body.subspan(entry.offset, entry.size));
  if (!values || entry.predictor.alone()) return values;
  std::vector<const std::int64_t*> sources(rows.size(), nullptr);
  for (const PredictorTerm& term : entry.predictor.terms) sources[term.source] = rows[term.source].data();
  std::vector<std::int64_t> prediction(values->size());
  predict(entry.predictor, sources, prediction);
  add_prediction(*values, prediction, frame.header.type);
  return values;
}

}  // namespace

DecodeResult decode_channels(const FrameView& frame, std::span<const std::size_t> wanted,
                             unsigned threads, std::span<std::byte> out) {
  const auto fail = [](const PredictiveError& error) {
    return std::unexpected(DecodeFailure{error, DecodeFailure::kNoBlock, 0});
  };
  const ChannelLayout& layout = frame.channels;
  const SampleType type = frame.header.type;
  const std::size_t row = layout.count * type.size;
  if (frame.header.body != BodyKind::Channels || out.size() != wanted.size() * row ||
      std::any_of(wanted.begin(), wanted.end(), [&](std::size_t c) { return c >= layout.channels.size(); })) {
    return fail(PredictiveError::bad_argument("out or the channels asked for do not match the frame"));
  }
  try {
    const auto needed = needed_channels(layout, wanted);
    std::vector<bool> source(layout.channels.size(), false);
    for (std::size_t c = 0; c < layout.channels.size(); ++c) {
      if (!needed[c]) continue;
      for (const PredictorTerm& term : layout.channels[c].predictor.terms) source[term.source] = true;
    }
    Rows rows(layout.channels.size());
    for (std::size_t c = 0; c < layout.channels.size(); ++c) {
      // A channel coded alone that nothing is predicted from is decoded straight into `out`.
      if (!needed[c] || (layout.channels[c].predictor.alone() && !source[c])) continue;
      auto values = channel_values(frame, rows, c);
      if (!values) return std::unexpected(values.error());
      rows[c] = std::move(*values);
    }
    for (std::size_t i = 0; i < wanted.size(); ++i) {
      const std::size_t c = wanted[i];
      const auto target = out.subspan(i * row, row);
      if (!rows[c].empty() || layout.count == 0) {
        narrow_into(rows[c], type, target);
        continue;
      }
      const ChannelEntry& entry = layout.channels[c];
      const auto parsed = parse_frame(frame.body.subspan(entry.offset, entry.size), Verify::Layout);
      if (!parsed) return fail(parsed.error());
      auto decoded = decode_frame(*parsed, target, threads);
      if (!decoded) return decoded;
    }
  } catch (const std::bad_alloc&) {
    return fail(PredictiveError::out_of_memory());
  }
  return {};
}

}  // namespace tessarine::frame
