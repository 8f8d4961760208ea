#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <type_traits>
#include <vector>

#include "predictive/error.hpp"
#include "predictive/error_stats.hpp"
#include "predictive/predictors.hpp"
#include "predictive/sample_type.hpp"
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
template <unsigned kSize, bool kSigned, bool kFloatBits>
class ExactKernel {
  static constexpr unsigned kBits = 8 * kSize;
  static constexpr std::uint64_t kMask = kBits == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << kBits) - 1;
  static constexpr std::uint64_t kTop = std::uint64_t{1} << (kBits - 1);

 public:
  static constexpr bool kChunkQuantiser = false;

  explicit ExactKernel(std::size_t capacity) : values_(capacity) {}

  void load(const SampleView& view, std::size_t first, std::size_t n) {
    const std::byte* at = view.data + static_cast<std::ptrdiff_t>(first) * view.stride;
    for (std::size_t i = 0; i < n; ++i, at += view.stride) {
      const std::uint64_t raw = load_raw<kSize>(at);
      if constexpr (kFloatBits) non_finite_ += (raw & kExponent) == kExponent;
      values_[i] = to_value(raw);
    }
  }

  [[nodiscard]] ChunkHeader plan(std::size_t n) const {
    ChunkHeader header;
    for (std::size_t b = 0; b < block_count(n); ++b) {
      const std::size_t begin = b * kBlock;
      const auto sums = residual_sums(values_.data() + begin, std::min(kBlock, n - begin),
                                      history_before(values_.data(), begin), [](std::uint64_t r) {
                                        return std::fabs(static_cast<double>(sign_extend<kBits>(r)));
                                      });
      header.predictors[b] = cheapest_predictor(sums, kBlock, 0.0);
    }
    return header;
  }

  void encode(const ChunkHeader& header, std::span<std::uint64_t> codes, EscapeWriter&,
              ErrorStats& stats) {
    const std::size_t n = codes.size();
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
    stats.finite += n - non_finite_;
    non_finite_ = 0;
  }

  [[nodiscard]] PredictiveResult<void> decode(const ChunkHeader& header,
                                              std::span<const std::uint64_t> codes, EscapeReader&,
                                              std::byte* out) const {
    if (header.layout != ChunkLayout::Blocks) {
      return std::unexpected(PredictiveError::damaged("interpolation in a lossless stream"));
    }
    const std::size_t n = codes.size();
    History<std::uint64_t> h;
    for (std::size_t begin = 0; begin < n; begin += kBlock) {
      const std::size_t end = std::min(n, begin + kBlock);
      with_predictor(header.predictors[begin / kBlock], [&]<Predictor P>() {
        for (std::size_t i = begin; i < end; ++i) {
          const std::uint64_t v = canonical(predict<P>(h) + static_cast<std::uint64_t>(unzigzag(codes[i])));
          const std::uint64_t raw = to_raw(v);
          std::memcpy(out + i * kSize, &raw, kSize);
          h.push(v);
        }
      });
    }
    return {};
  }

 private:
  static constexpr std::uint64_t kExponent = kSize == 2 ? 0x7C00u : kSize == 4 ? 0x7F800000u : 0x7FF0000000000000u;

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

  std::vector<std::uint64_t> values_;
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
// Arithmetic is exact in Wide: |prediction| < 2^35 (narrow types) or 2^67 (64-bit ones).
template <unsigned kSize, bool kSigned>
class BinnedKernel {
  static constexpr unsigned kBits = 8 * kSize;
  using Wide = std::conditional_t<kSize == 8, Int128, std::int64_t>;
  static constexpr Wide kLow = kSigned ? -(Wide{1} << (kBits - 1)) : Wide{0};
  static constexpr Wide kHigh = kSigned ? (Wide{1} << (kBits - 1)) - 1 : (Wide{1} << kBits) - 1;

 public:
  static constexpr bool kChunkQuantiser = false;

  // k <= max_half_width(kSize).
  BinnedKernel(std::size_t capacity, std::uint64_t k)
      : values_(capacity),
        k_(static_cast<Wide>(k)),
        width_(2 * static_cast<Wide>(k) + 1),
        // |q| * w stays below 2^36 (narrow) or 2^125 (64-bit): no product overflows.
        limit_(kSize == 8 ? Wide{1} << 60 : (Wide{1} << 36) / (2 * static_cast<Wide>(k) + 1)) {}

  void load(const SampleView& view, std::size_t first, std::size_t n) {
    view_ = view;
    first_ = first;
    const std::byte* at = view.data + static_cast<std::ptrdiff_t>(first) * view.stride;
    for (std::size_t i = 0; i < n; ++i, at += view.stride) values_[i] = to_value(load_raw<kSize>(at));
  }

  [[nodiscard]] ChunkHeader plan(std::size_t n) const {
    ChunkHeader header;
    for (std::size_t b = 0; b < block_count(n); ++b) {
      const std::size_t begin = b * kBlock;
      const std::size_t length = std::min(kBlock, n - begin);
      const auto sums = residual_sums(values_.data() + begin, length, history_before(values_.data(), begin),
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
                                              EscapeReader& escapes, std::byte* out) const {
    if (header.layout != ChunkLayout::Blocks) {
      return std::unexpected(PredictiveError::damaged("interpolation in an integer stream"));
    }
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
    else return static_cast<Wide>(raw);
  }

  Wide reconstruct(Wide prediction, Wide q) const { return std::clamp(prediction + q * width_, kLow, kHigh); }

  Wide code_sample(std::size_t i, Wide prediction, std::uint64_t& code, EscapeWriter& escapes,
                   ErrorStats& stats) const {
    const Wide x = values_[i];
    const Wide r = x - prediction;
    // Nearest bin: w is odd, so there are no ties.
    const Wide q = r >= 0 ? (r + k_) / width_ : -((k_ - r) / width_);
    if (q > limit_ || q < -limit_) [[unlikely]] {
      code = kEscapeCode;
      escapes.push(raw_bits(view_, first_ + i));
      return x;
    }
    const Wide y = reconstruct(prediction, q);
    code = zigzag(static_cast<std::int64_t>(q)) + 1;
    stats.add(static_cast<double>(x - y));
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
      y = to_value(raw);
    }
    const auto raw = static_cast<std::uint64_t>(y);
    std::memcpy(at, &raw, kSize);
    return y;
  }

  std::vector<Wide> values_;
  Wide k_;
  Wide width_;
  Wide limit_;
  SampleView view_{};
  std::size_t first_ = 0;
};

}  // namespace tessarine::predictive
