#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "predictive/byte_io.hpp"
#include "predictive/code_coder.hpp"
#include "predictive/error.hpp"
#include "predictive/lpc.hpp"
#include "predictive/predictors.hpp"
#include "predictive/sample_type.hpp"

namespace tessarine::predictive {

// How a stream turns samples into codes, numbered as stored in its second byte.
enum class StreamMode : std::uint8_t {
  ExactIntegers = 0,    // wrapping 64-bit prediction, every code is a residual
  BinnedIntegers = 1,   // bins of 2k+1 integers; parameter = k
  QuantisedFloats = 2,  // bins of `step`; parameter = step's binary64 bits
  FloatBits = 3,        // lossless: the bit patterns, order-preserving, as ExactIntegers
};

inline constexpr std::uint8_t kStreamVersion = 1;
inline constexpr std::size_t kStreamHeaderSize = 10;

struct StreamHeader {
  StreamMode mode = StreamMode::ExactIntegers;
  std::uint64_t parameter = 0;
};

void write_stream_header(const StreamHeader& header, std::vector<std::uint8_t>& out);
// Checks the version, the mode against the type and the parameter's range.
[[nodiscard]] PredictiveResult<StreamHeader> read_stream_header(ByteReader& in, SampleType type);

// Per chunk: block predictors, the interpolation walk over the whole chunk (quantised floats),
// or one linear predictor for the chunk (lossless integers narrower than 8 bytes), over the whole
// chunk (read only: what earlier encoders wrote) or in segments (lpc.hpp).
enum class ChunkLayout : std::uint8_t {
  Blocks = 0,
  LinearInterpolation = 1,
  CubicInterpolation = 2,
  Lpc = 3,
  SegmentedLpc = 4,
};

inline bool is_lpc(ChunkLayout layout) {
  return layout == ChunkLayout::Lpc || layout == ChunkLayout::SegmentedLpc;
}

inline constexpr std::size_t kBlocksPerChunk = kCodeChunk / kBlock;

struct ChunkHeader {
  ChunkLayout layout = ChunkLayout::Blocks;
  // QuantisedFloats only: bins of `step`, or of `multiple` steps of the grid origin + n * spacing.
  bool on_grid = false;
  double step = 0.0;
  double origin = 0.0;
  double spacing = 0.0;
  std::uint32_t multiple = 1;
  // Integer modes: every sample is grid_origin + v * grid_spacing, v >= 0 (64-bit values).
  std::uint64_t grid_origin = 0;
  std::uint64_t grid_spacing = 1;
  std::array<Predictor, kBlocksPerChunk> predictors{};  // used by Blocks only
  LpcFilter lpc;                                        // used by Lpc and SegmentedLpc only
  std::uint32_t escape_count = 0;
  std::uint32_t code_bytes = 0;
};
// No tail padding: libc++ 16's std::expected keeps its has-value flag in a value's tail padding,
// and copying the value in then overwrites the flag (a damaged frame read as a good one). A new
// field must keep the last one ending the struct.
static_assert(sizeof(ChunkHeader) == offsetof(ChunkHeader, code_bytes) + sizeof(std::uint32_t));

inline std::size_t block_count(std::size_t samples) { return (samples + kBlock - 1) / kBlock; }

// What a chunk header holds besides its layout and counts, by stream mode.
enum class ChunkExtras : std::uint8_t { None, FloatQuantiser, IntegerGrid };

// Appends the header of a chunk of `samples`; returns where its escape count sits, for
// patch_chunk_counts once the codes are coded.
std::size_t write_chunk_header(const ChunkHeader& header, std::size_t samples, ChunkExtras extras,
                               std::vector<std::uint8_t>& out);
void patch_chunk_counts(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t escape_count,
                        std::uint32_t code_bytes);
[[nodiscard]] PredictiveResult<ChunkHeader> read_chunk_header(ByteReader& in, std::size_t samples,
                                                              ChunkExtras extras);

// Escaped samples of one chunk, verbatim: `size` little-endian bytes each, in coding order.
class EscapeWriter {
 public:
  explicit EscapeWriter(unsigned size) : size_(size) {}
  void clear() { bytes_.clear(); }
  void push(std::uint64_t raw) { put_le(bytes_, raw, size_); }
  [[nodiscard]] std::uint32_t count() const { return static_cast<std::uint32_t>(bytes_.size() / size_); }
  [[nodiscard]] const std::vector<std::uint8_t>& bytes() const { return bytes_; }

 private:
  unsigned size_;
  std::vector<std::uint8_t> bytes_;
};

class EscapeReader {
 public:
  EscapeReader(std::span<const std::uint8_t> bytes, unsigned size) : bytes_(bytes), size_(size) {}
  // False when the chunk has no escape left: the codes ask for more than it holds.
  [[nodiscard]] bool next(std::uint64_t& raw) {
    if (bytes_.size() - at_ < size_) return false;
    raw = get_le(bytes_.data() + at_, size_);
    at_ += size_;
    return true;
  }
  [[nodiscard]] bool exhausted() const { return at_ == bytes_.size(); }

 private:
  std::span<const std::uint8_t> bytes_;
  unsigned size_;
  std::size_t at_ = 0;
};

}  // namespace tessarine::predictive
