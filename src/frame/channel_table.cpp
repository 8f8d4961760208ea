#include "frame/channel_table.hpp"

#include <cstdlib>
#include <new>

#include "frame/byte_order.hpp"
#include "frame/channel_samples.hpp"
#include "frame/frame_format.hpp"

namespace tessarine::frame {
namespace {

using predictive::PredictiveError;

constexpr std::int64_t kMostCoefficient = std::int64_t{1} << kMostShift;
constexpr std::size_t kTermSize = 9;  // source u32, lag i8, coefficient i32
constexpr std::size_t kEntrySize = 10;  // size u64, term count u8, shift u8

// Bounds-checked reading of the table.
class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  [[nodiscard]] bool has(std::size_t size) const { return bytes_.size() - at_ >= size; }
  template <class T>
  T take() {
    const T value = get_le<T>(bytes_.data() + at_);
    at_ += sizeof(T);
    return value;
  }
  [[nodiscard]] std::size_t position() const { return at_; }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t at_ = 0;
};

PredictiveResult<ChannelPredictor> read_predictor(Reader& reader, std::size_t channel,
                                                  std::uint8_t terms) {
  ChannelPredictor predictor;
  predictor.shift = reader.take<std::uint8_t>();
  if (terms > kMostTerms || (terms != 0 && (predictor.shift == 0 || predictor.shift > kMostShift))) {
    return std::unexpected(PredictiveError::damaged("a channel predictor out of range"));
  }
  if (terms != 0) {
    if (!reader.has(4)) return std::unexpected(PredictiveError::damaged("its channel table is cut short"));
    predictor.offset = reader.take<std::int32_t>();
    if (std::llabs(predictor.offset) > kMostCoefficient) {
      return std::unexpected(PredictiveError::damaged("a channel predictor out of range"));
    }
  }
  if (!reader.has(terms * kTermSize)) return std::unexpected(PredictiveError::damaged("its channel table is cut short"));
  for (std::uint8_t i = 0; i < terms; ++i) {
    PredictorTerm term;
    term.source = reader.take<std::uint32_t>();
    term.lag = reader.take<std::int8_t>();
    term.coefficient = reader.take<std::int32_t>();
    if (term.source >= channel || std::llabs(term.coefficient) > kMostCoefficient ||
        std::abs(term.lag) > kMostLag) {
      return std::unexpected(PredictiveError::damaged("a channel predictor out of range"));
    }
    predictor.terms.push_back(term);
  }
  return predictor;
}

PredictiveResult<void> check_channel_frame(const FrameHeader& outer, const ChannelEntry& entry,
                                           std::span<const std::uint8_t> bytes, std::uint64_t count) {
  const auto head = read_header(bytes);
  if (!head) return std::unexpected(head.error());
  if (head->count != count || head->body == BodyKind::Channels ||
      !residual_type_fits(outer.type, head->type, !entry.predictor.alone())) {
    return std::unexpected(PredictiveError::damaged("a channel's frame does not match its table"));
  }
  // Its body must hold its samples too; its checksum (or its index's) is checked here.
  const auto inner = parse_frame(bytes, Verify::Layout);
  if (!inner) return std::unexpected(inner.error());
  return {};
}

}  // namespace

bool residual_type_fits(SampleType channel, SampleType stored, bool predicted) {
  if (!predicted) return stored == channel;
  return joins(channel) && stored.kind == 'i' && (stored.size == 4 || stored.size == 8);
}

PredictiveResult<std::vector<std::uint8_t>> pack_channel_table(std::uint64_t count,
                                                               std::span<const ChannelEntry> channels) {
  try {
    std::vector<std::uint8_t> table;
    put_le<std::uint32_t>(table, static_cast<std::uint32_t>(channels.size()));
    put_le<std::uint64_t>(table, count);
    for (const ChannelEntry& entry : channels) {
      put_le<std::uint64_t>(table, entry.size);
      table.push_back(static_cast<std::uint8_t>(entry.predictor.terms.size()));
      table.push_back(entry.predictor.shift);
      if (!entry.predictor.alone()) put_le<std::int32_t>(table, entry.predictor.offset);
      for (const PredictorTerm& term : entry.predictor.terms) {
        put_le<std::uint32_t>(table, term.source);
        put_le<std::int8_t>(table, term.lag);
        put_le<std::int32_t>(table, term.coefficient);
      }
    }
    return table;
  } catch (const std::bad_alloc&) {
    return std::unexpected(PredictiveError::out_of_memory());
  }
}

PredictiveResult<ChannelLayout> parse_channel_table(const FrameHeader& header,
                                                    std::span<const std::uint8_t> body) {
  Reader reader(body);
  if (!reader.has(12)) return std::unexpected(PredictiveError::damaged("its channel table is cut short"));
  const auto channels = reader.take<std::uint32_t>();
  ChannelLayout layout;
  layout.count = reader.take<std::uint64_t>();
  if (channels == 0 || header.count / channels != layout.count || header.count % channels != 0 ||
      channels > body.size() / kEntrySize) {
    return std::unexpected(PredictiveError::damaged("its channels do not add up to its samples"));
  }
  try {
    layout.channels.reserve(channels);
    for (std::uint32_t c = 0; c < channels; ++c) {
      if (!reader.has(kEntrySize)) return std::unexpected(PredictiveError::damaged("its channel table is cut short"));
      ChannelEntry entry;
      entry.size = reader.take<std::uint64_t>();
      const auto terms = reader.take<std::uint8_t>();
      auto predictor = read_predictor(reader, c, terms);
      if (!predictor) return std::unexpected(predictor.error());
      if (!predictor->alone() && !joins(header.type)) {
        return std::unexpected(PredictiveError::damaged("a predicted channel of a type that cannot be"));
      }
      entry.predictor = std::move(*predictor);
      layout.channels.push_back(std::move(entry));
    }
    std::uint64_t offset = reader.position();
    for (ChannelEntry& entry : layout.channels) {
      if (entry.size > body.size() - offset) return std::unexpected(PredictiveError::damaged("its channels overrun the body"));
      entry.offset = offset;
      auto checked = check_channel_frame(header, entry, body.subspan(offset, entry.size), layout.count);
      if (!checked) return std::unexpected(checked.error());
      offset += entry.size;
    }
    if (offset != body.size()) return std::unexpected(PredictiveError::damaged("its channels do not fill the body"));
  } catch (const std::bad_alloc&) {
    return std::unexpected(PredictiveError::out_of_memory());
  }
  return layout;
}

}  // namespace tessarine::frame
