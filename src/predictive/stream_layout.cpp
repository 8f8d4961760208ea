#include "predictive/stream_layout.hpp"

#include <bit>
#include <cmath>

namespace tessarine::predictive {
namespace {

bool mode_fits_type(StreamMode mode, SampleType type) {
  const bool float_mode = mode == StreamMode::QuantisedFloats || mode == StreamMode::FloatBits;
  return float_mode == type.is_float();
}

bool parameter_fits(const StreamHeader& header) {
  switch (header.mode) {
    case StreamMode::ExactIntegers:
    case StreamMode::FloatBits:
      return header.parameter == 0;
    case StreamMode::BinnedIntegers:
      return header.parameter >= 1;
    case StreamMode::QuantisedFloats: {
      const double step = std::bit_cast<double>(header.parameter);
      return std::isfinite(step) && step > 0.0;
    }
  }
  return false;
}

bool positive_finite(double v) { return std::isfinite(v) && v > 0.0; }

void write_quantiser(const ChunkHeader& header, std::vector<std::uint8_t>& out) {
  out.push_back(header.on_grid ? 1 : 0);
  if (header.on_grid) {
    put_le(out, std::bit_cast<std::uint64_t>(header.origin), 8);
    put_le(out, std::bit_cast<std::uint64_t>(header.spacing), 8);
    put_le(out, header.multiple, 4);
  } else {
    put_le(out, std::bit_cast<std::uint64_t>(header.step), 8);
  }
}

PredictiveResult<void> read_quantiser(ByteReader& in, ChunkHeader& header) {
  const auto kind = in.read(1, "chunk header is cut short");
  if (!kind) return std::unexpected(kind.error());
  if (*kind > 1) return std::unexpected(PredictiveError::damaged("unknown chunk quantiser"));
  header.on_grid = *kind == 1;
  const auto first = in.read(8, "chunk header is cut short");
  if (!first) return std::unexpected(first.error());
  if (!header.on_grid) {
    header.step = std::bit_cast<double>(*first);
    if (!positive_finite(header.step)) return std::unexpected(PredictiveError::damaged("bad quantisation step"));
    return {};
  }
  const auto spacing = in.read(8, "chunk header is cut short");
  if (!spacing) return std::unexpected(spacing.error());
  const auto multiple = in.read(4, "chunk header is cut short");
  if (!multiple) return std::unexpected(multiple.error());
  header.origin = std::bit_cast<double>(*first);
  header.spacing = std::bit_cast<double>(*spacing);
  header.multiple = static_cast<std::uint32_t>(*multiple);
  if (!std::isfinite(header.origin) || !positive_finite(header.spacing) || header.multiple % 2 == 0) {
    return std::unexpected(PredictiveError::damaged("bad quantisation grid"));
  }
  return {};
}

}  // namespace

void write_stream_header(const StreamHeader& header, std::vector<std::uint8_t>& out) {
  out.push_back(kStreamVersion);
  out.push_back(static_cast<std::uint8_t>(header.mode));
  put_le(out, header.parameter, 8);
}

PredictiveResult<StreamHeader> read_stream_header(ByteReader& in, SampleType type) {
  const auto version = in.read(1, "stream header is cut short");
  if (!version) return std::unexpected(version.error());
  if (*version != kStreamVersion) return std::unexpected(PredictiveError::damaged("unknown stream version"));
  const auto mode = in.read(1, "stream header is cut short");
  if (!mode) return std::unexpected(mode.error());
  const auto parameter = in.read(8, "stream header is cut short");
  if (!parameter) return std::unexpected(parameter.error());
  if (*mode > static_cast<std::uint8_t>(StreamMode::FloatBits)) {
    return std::unexpected(PredictiveError::damaged("unknown stream mode"));
  }
  const StreamHeader header{static_cast<StreamMode>(*mode), *parameter};
  if (!mode_fits_type(header.mode, type)) {
    return std::unexpected(PredictiveError::damaged("stream mode does not fit the sample type"));
  }
  if (!parameter_fits(header)) return std::unexpected(PredictiveError::damaged("bad quantisation step"));
  return header;
}

std::size_t write_chunk_header(const ChunkHeader& header, std::size_t samples, ChunkExtras extras,
                               std::vector<std::uint8_t>& out) {
  out.push_back(static_cast<std::uint8_t>(header.layout));
  if (extras == ChunkExtras::FloatQuantiser) write_quantiser(header, out);
  if (extras == ChunkExtras::IntegerGrid) {
    put_le(out, header.grid_origin, 8);
    put_le(out, header.grid_spacing, 8);
  }
  if (header.layout == ChunkLayout::Blocks) {
    const std::size_t blocks = block_count(samples);
    for (std::size_t first = 0; first < blocks; first += 4) {
      unsigned packed = 0;
      for (std::size_t b = first; b < blocks && b < first + 4; ++b) {
        packed |= static_cast<unsigned>(header.predictors[b]) << (2 * (b - first));
      }
      out.push_back(static_cast<std::uint8_t>(packed));
    }
  }
  if (is_lpc(header.layout)) {
    out.push_back(static_cast<std::uint8_t>(header.lpc.shift));
    for (std::int16_t c : header.lpc.coefficients) put_le(out, static_cast<std::uint16_t>(c), 2);
  }
  if (header.layout == ChunkLayout::SegmentedLpc)
    put_le(out, static_cast<std::uint64_t>(header.lpc.level), 8);
  const std::size_t at = out.size();
  put_le(out, header.escape_count, 4);
  put_le(out, header.code_bytes, 4);
  return at;
}

void patch_chunk_counts(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t escape_count,
                        std::uint32_t code_bytes) {
  patch_le(out, at, escape_count, 4);
  patch_le(out, at + 4, code_bytes, 4);
}

PredictiveResult<ChunkHeader> read_chunk_header(ByteReader& in, std::size_t samples, ChunkExtras extras) {
  ChunkHeader header;
  const auto layout = in.read(1, "chunk header is cut short");
  if (!layout) return std::unexpected(layout.error());
  if (*layout > static_cast<std::uint8_t>(ChunkLayout::SegmentedLpc)) {
    return std::unexpected(PredictiveError::damaged("unknown chunk layout"));
  }
  header.layout = static_cast<ChunkLayout>(*layout);
  if (extras == ChunkExtras::FloatQuantiser) {
    const auto read = read_quantiser(in, header);
    if (!read) return std::unexpected(read.error());
  }
  if (extras == ChunkExtras::IntegerGrid) {
    const auto origin = in.read(8, "chunk header is cut short");
    if (!origin) return std::unexpected(origin.error());
    const auto spacing = in.read(8, "chunk header is cut short");
    if (!spacing) return std::unexpected(spacing.error());
    if (*spacing == 0) return std::unexpected(PredictiveError::damaged("integer grid spacing is zero"));
    header.grid_origin = *origin;
    header.grid_spacing = *spacing;
  }
  if (header.layout == ChunkLayout::Blocks) {
    const std::size_t blocks = block_count(samples);
    const auto packed = in.take((blocks + 3) / 4, "chunk header is cut short");
    if (!packed) return std::unexpected(packed.error());
    for (std::size_t b = 0; b < blocks; ++b) {
      header.predictors[b] = static_cast<Predictor>(((*packed)[b / 4] >> (2 * (b % 4))) & 3u);
    }
    if (blocks % 4 != 0 && ((*packed)[blocks / 4] >> (2 * (blocks % 4))) != 0) {
      return std::unexpected(PredictiveError::damaged("unused predictor bits are set"));
    }
  }
  if (is_lpc(header.layout)) {
    const auto filter = in.take(1 + 2 * kLpcOrder, "chunk header is cut short");
    if (!filter) return std::unexpected(filter.error());
    header.lpc.shift = (*filter)[0];
    if (header.lpc.shift > kLpcMaxShift) return std::unexpected(PredictiveError::damaged("bad linear predictor shift"));
    for (std::size_t j = 0; j < kLpcOrder; ++j) {
      header.lpc.coefficients[j] = static_cast<std::int16_t>(get_le(filter->data() + 1 + 2 * j, 2));
    }
  }
  if (header.layout == ChunkLayout::SegmentedLpc) {
    // Any 64 bits: the kernel takes the level to a value of its type, as it does a decoded one.
    const auto level = in.read(8, "chunk header is cut short");
    if (!level) return std::unexpected(level.error());
    header.lpc.level = static_cast<std::int64_t>(*level);
  }
  const auto escapes = in.read(4, "chunk header is cut short");
  if (!escapes) return std::unexpected(escapes.error());
  const auto code_bytes = in.read(4, "chunk header is cut short");
  if (!code_bytes) return std::unexpected(code_bytes.error());
  if (*escapes > samples) return std::unexpected(PredictiveError::damaged("more escapes than samples"));
  header.escape_count = static_cast<std::uint32_t>(*escapes);
  header.code_bytes = static_cast<std::uint32_t>(*code_bytes);
  return header;
}

}  // namespace tessarine::predictive
