#pragma once

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <type_traits>
#include <vector>

#include "predictive/error.hpp"
#include "predictive/error_stats.hpp"
#include "predictive/integer_grid.hpp"
#include "predictive/lpc.hpp"
#include "predictive/predictors.hpp"
#include "predictive/sample_type.hpp"
#include "predictive/scratch.hpp"
#include "predictive/segmented_lpc.hpp"
#include "predictive/stream_layout.hpp"

namespace tessarine::predictive {

__extension__ using Int128 = __int128;

// Raw bits of a kSize-byte sample at `at`, in the low bytes.
template <unsigned kSize>
inline std::uint64_t load_raw(const std::byte* at) {
  std::uint64_t raw = 0;
  std::memcpy(&raw, at, kSize);
  return raw;
}

template <unsigned kBits>
inline std::int64_t sign_extend(std::uint64_t v) {
  if constexpr (kBits == 64) {
    return static_cast<std::int64_t>(v);
  } else {
    return static_cast<std::int64_t>(v << (64 - kBits)) >> (64 - kBits);
  }
}

// Lossless: prediction and residual wrap modulo 2^64, and the residual is read as a signed
// kBits-bit number, so every sample has a code and none escapes. kFloatBits codes float bit
// patterns through an order-preserving map (negative floats flipped, positive ones offset).
// Integer chunks on a grid (integer_grid.hpp) code v = (x - origin) / spacing instead; with
// origin the least value and spacing >= 2, v fits kBits - 1 bits, so the same sign extension
// or masking recovers it.
template <unsigned kSize, bool kSigned, bool kFloatBits>
class ExactKernel {
  static constexpr unsigned kBits = 8 * kSize;
  static constexpr std::uint64_t kMask = kBits == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << kBits) - 1;
  static constexpr std::uint64_t kTop = std::uint64_t{1} << (kBits - 1);

 public:
  static constexpr ChunkExtras kExtras = kFloatBits ? ChunkExtras::None : ChunkExtras::IntegerGrid;

  explicit ExactKernel(std::size_t capacity) : scratch_(capacity), lpc_codes_(capacity) {}

  void load(const SampleView& view, std::size_t first, std::size_t n) {
    values_ = scratch_.get();
    for (std::size_t i = 0; i < n; ++i) {
      const std::uint64_t raw = load_raw<kSize>(sample_at(view, first + i));
      if constexpr (kFloatBits) non_finite_ += (raw & kExponent) == kExponent;
      values_[i] = to_value(raw);
    }
  }

  [[nodiscard]] ChunkHeader plan(std::size_t n) {
    ChunkHeader header;
    if constexpr (!kFloatBits) {
      const IntegerGrid grid = kSigned ? find_integer_grid(reinterpret_cast<const std::int64_t*>(values_), n)
                                       : find_integer_grid(values_, n);
      header.grid_origin = grid.origin;
      header.grid_spacing = grid.spacing;
      if (grid.spacing > 1) to_grid(grid, n);
    }
    for (std::size_t b = 0; b < block_count(n); ++b) {
      const std::size_t begin = b * kBlock;
      sums_[b] = residual_sums(values_ + begin, std::min(kBlock, n - begin), history_before(values_, begin), magnitude);
      header.predictors[b] = cheapest_predictor(sums_[b], kBlock, 0.0);
    }
    if constexpr (kSize <= 4) choose_lpc(header, n);
    return header;
  }

  // Follows plan() for the same chunk: a linear predictor's codes are the ones plan() made
  // while it weighed them.
  void encode(const ChunkHeader& header, std::span<std::uint64_t> codes, EscapeWriter&,
              ErrorStats& stats) {
    const std::size_t n = codes.size();
    stats.finite += n - non_finite_;
    non_finite_ = 0;
    if (is_lpc(header.layout)) {
      std::memcpy(codes.data(), lpc_codes_.get(), n * sizeof(std::uint64_t));
      return;
    }
    History<std::uint64_t> h;
    for (std::size_t begin = 0; begin < n; begin += kBlock) {
      const std::size_t end = std::min(n, begin + kBlock);
      with_predictor(header.predictors[begin / kBlock], [&]<Predictor P>() {
        for (std::size_t i = begin; i < end; ++i) {
          codes[i] = zigzag(sign_extend<kBits>(values_[i] - predict<P>(h)));
          h.push(values_[i]);
        }
      });
    }
  }

  [[nodiscard]] PredictiveResult<void> decode(const ChunkHeader& header,
                                              std::span<const std::uint64_t> codes, EscapeReader&,
                                              std::byte* out) const {
    const bool lpc = is_lpc(header.layout) && kSize <= 4;
    if (header.layout != ChunkLayout::Blocks && !lpc) {
      return std::unexpected(PredictiveError::damaged("chunk layout does not fit a lossless stream"));
    }
    if (lpc) {
      decode_lpc(header, codes, out);
      return {};
    }
    const std::size_t n = codes.size();
    const std::uint64_t origin = header.grid_origin;
    const std::uint64_t spacing = header.grid_spacing;
    History<std::uint64_t> h;
    for (std::size_t begin = 0; begin < n; begin += kBlock) {
      const std::size_t end = std::min(n, begin + kBlock);
      with_predictor(header.predictors[begin / kBlock], [&]<Predictor P>() {
        for (std::size_t i = begin; i < end; ++i) {
          const std::uint64_t v = canonical(predict<P>(h) + static_cast<std::uint64_t>(unzigzag(codes[i])));
          const std::uint64_t raw = to_raw(origin + v * spacing);
          std::memcpy(out + i * kSize, &raw, kSize);
          h.push(v);
        }
      });
    }
    return {};
  }

 private:
  static constexpr double kLpcMargin = 0.995;
  static constexpr double kSegmentsTolerance = 0.002;
  static constexpr std::uint64_t kExponent = kSize == 2 ? 0x7C00u : kSize == 4 ? 0x7F800000u : 0x7FF0000000000000u;

  // The chunk's linear predictor (fitted on every 4th block, refined on every 16th), when its
  // residuals over the chunk undercut the chosen fixed predictors' by a hair: the coder's
  // contexts follow the fixed predictors' block-to-block changes better than this measure
  // says (a refined fit that undercut them by 0.1% coded 0.15% larger on the ECG).
  void choose_lpc(ChunkHeader& header, std::size_t n) {
    const auto* x = reinterpret_cast<const std::int64_t*>(values_);
    constexpr LpcSample kSample{kBlock, 4 * kBlock, 16 * kBlock};
    double fixed = 0.0;
    double fixed_sampled = 0.0;
    for (std::size_t b = 0; b < block_count(n); ++b) {
      const double bits = sums_[b][static_cast<std::size_t>(header.predictors[b])];
      fixed += bits;
      if (b * kBlock % kSample.refine_every == 0) fixed_sampled += bits;
    }
    // 8- and 16-bit values decode side by side when the filter's sums fit 32 bits (and unsigned
    // 16-bit ones fit 15 bits; a scale lowered for others would only lose precision).
    std::int64_t lanes_largest = kSize <= 2 && !kFloatBits ? largest_magnitude(n) : 0;
    if (kSize == 2 && !kSigned && lanes_largest > INT16_MAX) lanes_largest = 0;
    if (!fit_lpc(x, n, kSample, fixed_sampled, header.lpc, lanes_largest)) return;
    header.lpc.level = mean_value(n);
    const WideLpc filter(header.lpc);
    const std::size_t length = lpc_segment_length(n);
    double lpc = 0.0;
    std::uint64_t* codes = lpc_codes_.get();
    lpc_walk(filter, n, length, header.lpc.level, [&](std::size_t i, std::int64_t p) {
      const std::uint64_t residual = values_[i] - static_cast<std::uint64_t>(p);
      lpc += magnitude(residual);
      codes[i] = zigzag(sign_extend<kBits>(residual));
      return x[i];
    });
    // The segments cost the level's 8 bytes and a few bytes where they restart; kept unless
    // that is more than a hair of the chunk (short chunks, where they save little time).
    const double whole = lpc + code_whole_chunk(filter, n, length, false);
    const bool segments = lpc + 64.0 <= whole * (1.0 + kSegmentsTolerance);
    if (!segments) {
      (void)code_whole_chunk(filter, n, length, true);
      header.lpc.level = 0;
    }
    if (std::min(lpc, whole) < kLpcMargin * fixed) {
      header.layout = segments ? ChunkLayout::SegmentedLpc : ChunkLayout::Lpc;
    }
  }

  // Coding the chunk in one piece from zero (layout 3) changes only the first kLpcOrder codes of
  // each segment, which see another history; returns what that does to the measure, and with
  // `rewrite` puts those codes in place of the segments'.
  double code_whole_chunk(const WideLpc& filter, std::size_t n, std::size_t length, bool rewrite) {
    const auto* x = reinterpret_cast<const std::int64_t*>(values_);
    std::uint64_t* codes = lpc_codes_.get();
    double change = 0.0;
    for (std::size_t begin = 0; begin < n; begin += length) {
      LpcHistory h;
      for (std::size_t i = begin >= kLpcOrder ? begin - kLpcOrder : 0; i < begin; ++i) h.push(x[i]);
      for (std::size_t i = begin; i < std::min({n, begin + length, begin + kLpcOrder}); ++i) {
        const std::uint64_t residual =
            values_[i] - static_cast<std::uint64_t>(lpc_predict(filter, h));
        change += magnitude(residual) - magnitude(static_cast<std::uint64_t>(unzigzag(codes[i])));
        if (rewrite) codes[i] = zigzag(sign_extend<kBits>(residual));
        h.push(x[i]);
      }
    }
    return change;
  }

  [[nodiscard]] std::int64_t largest_magnitude(std::size_t n) const {
    const auto* x = reinterpret_cast<const std::int64_t*>(values_);
    std::int64_t largest = 0;
    for (std::size_t i = 0; i < n; ++i) largest = std::max(largest, x[i] < 0 ? -x[i] : x[i]);
    return largest;
  }

  // The values' mean, rounded: a value of the type (a mean of them), below 2^32 in magnitude.
  [[nodiscard]] std::int64_t mean_value(std::size_t n) const {
    const auto* x = reinterpret_cast<const std::int64_t*>(values_);
    std::int64_t sum = 0;  // n <= 2^16 values below 2^32 in magnitude
    for (std::size_t i = 0; i < n; ++i) sum += x[i];
    return std::llround(static_cast<double>(sum) / static_cast<double>(n));
  }

  // Layouts 3 and 4 (one segment from zero, or segments from the level). Values stay within
  // kBits <= 32 bits (canonical), so the filter's sums cannot overflow.
  void decode_lpc(const ChunkHeader& header, std::span<const std::uint64_t> codes,
                  std::byte* out) const {
    const std::size_t n = codes.size();
    const std::uint64_t origin = header.grid_origin;
    const std::uint64_t spacing = header.grid_spacing;
    const bool segmented = header.layout == ChunkLayout::SegmentedLpc;
    const auto level = static_cast<std::int64_t>(
        segmented ? canonical(static_cast<std::uint64_t>(header.lpc.level)) : 0);
    if constexpr (kSize <= 2 && !kFloatBits) {
      const SampleType type{kSigned ? 'i' : 'u', static_cast<std::uint8_t>(kSize)};
      if (segmented &&
          decode_segments_small(codes, header.lpc, level, type, static_cast<std::uint16_t>(origin),
                                static_cast<std::uint16_t>(spacing), out)) {
        return;
      }
    }
    const std::size_t length = segmented ? lpc_segment_length(n) : n;
    lpc_walk(WideLpc(header.lpc), n, length, level, [&](std::size_t i, std::int64_t p) {
      const std::uint64_t v =
          canonical(static_cast<std::uint64_t>(p) + static_cast<std::uint64_t>(unzigzag(codes[i])));
      const std::uint64_t raw = to_raw(origin + v * spacing);
      std::memcpy(out + i * kSize, &raw, kSize);
      return static_cast<std::int64_t>(v);
    });
  }

  // About the bits a residual costs: heavy tails (spikes) weigh what they cost, not more.
  static double magnitude(std::uint64_t residual) {
    return rough_log2(1.0 + std::fabs(static_cast<double>(sign_extend<kBits>(residual))));
  }

  // v = (x - origin) / spacing; a power-of-two spacing (unused low bits) shifts.
  void to_grid(const IntegerGrid& grid, std::size_t n) {
    const std::uint64_t spacing = grid.spacing;
    if ((spacing & (spacing - 1)) == 0) {
      const int shift = std::countr_zero(spacing);
      for (std::size_t i = 0; i < n; ++i) values_[i] = (values_[i] - grid.origin) >> shift;
    } else {
      for (std::size_t i = 0; i < n; ++i) values_[i] = (values_[i] - grid.origin) / spacing;
    }
  }

  static std::uint64_t to_value(std::uint64_t raw) {
    if constexpr (kFloatBits) return (raw & kTop) ? (~raw & kMask) : (raw | kTop);
    else if constexpr (kSigned) return static_cast<std::uint64_t>(sign_extend<kBits>(raw));
    else return raw;
  }
  // The one value of the type congruent to v modulo 2^kBits, as load() would give it.
  static std::uint64_t canonical(std::uint64_t v) {
    if constexpr (kSigned && !kFloatBits) return static_cast<std::uint64_t>(sign_extend<kBits>(v));
    else return v & kMask;
  }
  static std::uint64_t to_raw(std::uint64_t v) {
    if constexpr (kFloatBits) return (v & kTop) ? (v & ~kTop) : (~v & kMask);
    else return v & kMask;
  }

  Scratch<std::uint64_t> scratch_;
  Scratch<std::uint64_t> lpc_codes_;  // the linear predictor's codes, from plan() to encode()
  std::uint64_t* values_ = nullptr;  // the chunk's values, then grid indices (encoder)
  std::array<std::array<double, kPredictorCount>, kBlocksPerChunk> sums_{};  // per block, by predictor
  std::size_t non_finite_ = 0;
};

template <unsigned kSize, bool kSigned>
using ExactIntegerKernel = ExactKernel<kSize, kSigned, false>;

template <unsigned kSize>
using FloatBitsKernel = ExactKernel<kSize, false, true>;

// The widest half-width worth storing: with it every value of the type is within k of every
// other, so a wider bin changes nothing.
inline std::uint64_t max_half_width(unsigned size) {
  return size == 8 ? ~std::uint64_t{0} : std::uint64_t{1} << (8 * size);
}

// Lossy integers: bins of w = 2k+1 consecutive integers centred on the prediction, the
// reconstruction clamped into the type's range (which only brings it closer to the sample).
// On a grid of spacing g, the same on v = (x - origin) / g with k' = floor(k / g), the range
// mapped onto v. Arithmetic is exact in Wide: |prediction| < 2^35 (narrow types) or 2^67.
template <unsigned kSize, bool kSigned>
class BinnedKernel {
  static constexpr unsigned kBits = 8 * kSize;
  using Wide = std::conditional_t<kSize == 8, Int128, std::int64_t>;
  static constexpr Wide kLow = kSigned ? -(Wide{1} << (kBits - 1)) : Wide{0};
  static constexpr Wide kHigh = kSigned ? (Wide{1} << (kBits - 1)) - 1 : (Wide{1} << kBits) - 1;

 public:
  static constexpr ChunkExtras kExtras = ChunkExtras::IntegerGrid;

  // k <= max_half_width(kSize).
  BinnedKernel(std::size_t capacity, std::uint64_t k) : scratch_(capacity), half_width_(static_cast<Wide>(k)) {}

  void load(const SampleView& view, std::size_t first, std::size_t n) {
    values_ = scratch_.get();
    view_ = view;
    first_ = first;
    for (std::size_t i = 0; i < n; ++i) values_[i] = to_value(load_raw<kSize>(sample_at(view, first + i)));
  }

  [[nodiscard]] ChunkHeader plan(std::size_t n) {
    ChunkHeader header;
    const IntegerGrid grid = find_integer_grid(values_, n);
    header.grid_origin = grid.origin;
    header.grid_spacing = grid.spacing;
    use_grid(header);
    if (grid.spacing > 1) {
      const std::uint64_t g = grid.spacing;
      if ((g & (g - 1)) == 0) {
        const int shift = std::countr_zero(g);
        for (std::size_t i = 0; i < n; ++i) values_[i] = (values_[i] - origin_) >> shift;
      } else {
        for (std::size_t i = 0; i < n; ++i) values_[i] = (values_[i] - origin_) / spacing_;
      }
    }
    for (std::size_t b = 0; b < block_count(n); ++b) {
      const std::size_t begin = b * kBlock;
      const std::size_t length = std::min(kBlock, n - begin);
      const auto sums = residual_sums(values_ + begin, length, history_before(values_, begin),
                                      [](Wide r) { return std::fabs(static_cast<double>(r)); });
      header.predictors[b] = cheapest_predictor(sums, length, static_cast<double>(k_));
    }
    return header;
  }

  void encode(const ChunkHeader& header, std::span<std::uint64_t> codes, EscapeWriter& escapes,
              ErrorStats& stats) {
    const std::size_t n = codes.size();
    History<Wide> h;
    for (std::size_t begin = 0; begin < n; begin += kBlock) {
      const std::size_t end = std::min(n, begin + kBlock);
      with_predictor(header.predictors[begin / kBlock], [&]<Predictor P>() {
        for (std::size_t i = begin; i < end; ++i) h.push(code_sample(i, predict<P>(h), codes[i], escapes, stats));
      });
    }
    stats.finite += n;
  }

  [[nodiscard]] PredictiveResult<void> decode(const ChunkHeader& header,
                                              std::span<const std::uint64_t> codes,
                                              EscapeReader& escapes, std::byte* out) {
    if (header.layout != ChunkLayout::Blocks) {
      return std::unexpected(PredictiveError::damaged("interpolation in an integer stream"));
    }
    // The origin must be a value of the type, written as the encoder writes one, and the
    // spacing no wider than the type (it then stays positive in Wide).
    if (static_cast<std::uint64_t>(to_value(header.grid_origin)) != header.grid_origin ||
        (kSize < 8 && header.grid_spacing > max_half_width(kSize))) {
      return std::unexpected(PredictiveError::damaged("integer grid out of range"));
    }
    use_grid(header);
    const std::size_t n = codes.size();
    History<Wide> h;
    bool ok = true;
    for (std::size_t begin = 0; begin < n && ok; begin += kBlock) {
      const std::size_t end = std::min(n, begin + kBlock);
      with_predictor(header.predictors[begin / kBlock], [&]<Predictor P>() {
        for (std::size_t i = begin; i < end && ok; ++i) {
          h.push(decode_sample(codes[i], predict<P>(h), escapes, out + i * kSize, ok));
        }
      });
    }
    if (!ok) return std::unexpected(PredictiveError::damaged("bad integer code or missing escape"));
    return {};
  }

 private:
  static Wide to_value(std::uint64_t raw) {
    if constexpr (kSigned) return static_cast<Wide>(sign_extend<kBits>(raw));
    else return static_cast<Wide>(raw & (kBits == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << (kBits % 64)) - 1));
  }

  // Bins and range on v for the chunk's grid; origin is a value of the type (checked by decode).
  void use_grid(const ChunkHeader& header) {
    origin_ = to_value(header.grid_origin);
    spacing_ = static_cast<Wide>(header.grid_spacing);
    k_ = half_width_ / spacing_;
    width_ = 2 * k_ + 1;
    // |q| * w stays below 2^36 (narrow) or 2^125 (64-bit): no product overflows.
    limit_ = kSize == 8 ? Wide{1} << 60 : (Wide{1} << 36) / width_;
    low_ = -((origin_ - kLow) / spacing_);
    high_ = (kHigh - origin_) / spacing_;
  }

  Wide reconstruct(Wide prediction, Wide q) const { return std::clamp(prediction + q * width_, low_, high_); }
  Wide sample_of(Wide v) const { return origin_ + v * spacing_; }

  Wide code_sample(std::size_t i, Wide prediction, std::uint64_t& code, EscapeWriter& escapes,
                   ErrorStats& stats) const {
    const Wide x = values_[i];
    const Wide r = x - prediction;
    // Nearest bin: w is odd, so there are no ties. Bins of one index (k < g) divide by nothing.
    const Wide q = width_ == 1 ? r : r >= 0 ? (r + k_) / width_ : -((k_ - r) / width_);
    if (q > limit_ || q < -limit_) [[unlikely]] {
      code = kEscapeCode;
      escapes.push(raw_bits(view_, first_ + i));
      return x;
    }
    const Wide y = reconstruct(prediction, q);
    code = zigzag(static_cast<std::int64_t>(q)) + 1;
    stats.add(static_cast<double>((x - y) * spacing_));
    return y;
  }

  Wide decode_sample(std::uint64_t code, Wide prediction, EscapeReader& escapes, std::byte* at,
                     bool& ok) const {
    Wide y;
    if (code != kEscapeCode) [[likely]] {
      const Wide q = unzigzag(code - 1);
      if (q > limit_ || q < -limit_) ok = false;
      y = ok ? reconstruct(prediction, q) : Wide{0};
    } else {
      std::uint64_t raw = 0;
      if (!escapes.next(raw)) ok = false;
      y = (to_value(raw) - origin_) / spacing_;
      const auto bits = raw;
      std::memcpy(at, &bits, kSize);
      return y;
    }
    const auto raw = static_cast<std::uint64_t>(sample_of(y));
    std::memcpy(at, &raw, kSize);
    return y;
  }

  Scratch<Wide> scratch_;
  Wide* values_ = nullptr;  // the chunk's values, then grid indices (encoder)
  Wide half_width_;
  Wide origin_ = 0;
  Wide spacing_ = 1;
  Wide k_ = 0;
  Wide width_ = 1;
  Wide limit_ = 0;
  Wide low_ = kLow;
  Wide high_ = kHigh;
  SampleView view_{};
  std::size_t first_ = 0;
};

}  // namespace tessarine::predictive
