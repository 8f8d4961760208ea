#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <new>
#include <stdexcept>

#include "entropy/arans.hpp"
#include "entropy/fast_decision.hpp"
#include "entropy/plane_decoder.hpp"
#include "entropy/stream_format.hpp"
#include "memory/prefault.hpp"

namespace tessarine::arans {
namespace {

struct StreamLayout {
  std::size_t pairs;
  unsigned context_bits;
  std::span<const std::uint8_t> low_plane;
  std::span<const std::uint8_t> high_plane;
  bool odd;
};

// Header checks, in the order that decides which error a malformed stream gives.
[[nodiscard]] AransResult<StreamLayout> read_layout(std::span<const std::uint8_t> stream) {
  const bool odd = (stream[0] & 1u) != 0;  // bits 1 to 7 are not used
  const unsigned k = stream[1];
  if (k > kMaxContextBits) return std::unexpected(AransError::invalid_length());
  std::size_t position = 2;
  const auto pairs = rv(stream, position);
  if (!pairs) return std::unexpected(pairs.error());
  if (*pairs > kMaxPairCount) return std::unexpected(AransError::invalid_length());
  const auto low_size = rv(stream, position);
  if (!low_size) return std::unexpected(low_size.error());
  if (*low_size > std::numeric_limits<std::size_t>::max() - position) {
    return std::unexpected(AransError::invalid_length());
  }
  const std::size_t planes_end = stream.size() - (odd ? 1 : 0);
  if (planes_end < position + *low_size) return std::unexpected(AransError::truncated());
  const std::size_t low_end = position + *low_size;
  const StreamLayout layout{*pairs, k, stream.subspan(position, *low_size),
                            stream.subspan(low_end, planes_end - low_end), odd};
  // A plane that cannot hold the declared symbols would run out of words while decoding;
  // saying so now keeps a few hostile bytes from sizing a huge output first.
  if (layout.pairs > max_plane_symbols(layout.low_plane.size()) ||
      layout.pairs > max_plane_symbols(layout.high_plane.size())) {
    return std::unexpected(AransError::truncated());
  }
  return layout;
}

// Decodes symbol pairs while both planes can take the fast path, writing pair i to out[2i]
// and out[2i + 1]. The cursors are copied into locals so that they live in registers: the
// byte stores to `out` could alias them otherwise.
[[nodiscard]] std::size_t decode_pairs_fast(PlaneCursor& low_cursor, PlaneCursor& high_cursor,
                                            std::uint8_t* out, std::size_t pairs) {
  PlaneCursor low = low_cursor;
  PlaneCursor high = high_cursor;
  std::size_t i = 0;
  for (; i < pairs && can_decode_fast(low) && can_decode_fast(high); ++i) {
    FastSymbol low_symbol = begin_fast_symbol(low);
    FastSymbol high_symbol = begin_fast_symbol(high);
#pragma GCC unroll 7
    for (unsigned d = 0; d + 1 < kSymbolBits; ++d) {
      decide_fast<false>(low, low_symbol);
      decide_fast<false>(high, high_symbol);
    }
    decide_fast<true>(low, low_symbol);
    decide_fast<true>(high, high_symbol);
    out[2 * i] = finish_fast_symbol(low, low_symbol);
    out[2 * i + 1] = finish_fast_symbol(high, high_symbol);
  }
  low_cursor = low;
  high_cursor = high;
  return i;
}

// Decodes `pairs` pairs into `out`; false when a plane is cut short.
[[nodiscard]] bool decode_pairs(PlaneCursor& low, PlaneCursor& high, std::uint8_t* out,
                                std::size_t pairs) {
  std::size_t i = 0;
  while (i < pairs) {
    i += decode_pairs_fast(low, high, out + 2 * i, pairs - i);
    if (i == pairs) break;
    // One pair the careful way, then try the fast path again.
    if (!decode_symbol(low, out[2 * i]) || !decode_symbol(high, out[2 * i + 1])) return false;
    ++i;
  }
  return true;
}

// Decodes both planes, keeping the first `kept_pairs` pairs interleaved in `out` and running
// the rest through a small scratch block, so that every symbol is checked but only the kept
// ones cost memory.
[[nodiscard]] bool decode_interleaved(const StreamLayout& layout, std::uint8_t* out,
                                      std::size_t kept_pairs) {
  if (layout.pairs == 0) return true;
  const std::size_t entries = model_entries(layout.context_bits);
  std::vector<std::uint16_t> models(2 * entries, kInitialProbability);
  PlaneCursor low = open_plane(layout.low_plane, layout.context_bits, models.data());
  PlaneCursor high = open_plane(layout.high_plane, layout.context_bits, models.data() + entries);
  if (!decode_pairs(low, high, out, kept_pairs)) return false;
  constexpr std::size_t kScratchPairs = 4096;
  std::array<std::uint8_t, 2 * kScratchPairs> scratch;
  for (std::size_t done = kept_pairs; done < layout.pairs;) {
    const std::size_t step = std::min(kScratchPairs, layout.pairs - done);
    if (!decode_pairs(low, high, scratch.data(), step)) return false;
    done += step;
  }
  return true;
}

// The output could not be allocated. A damaged plane is reported before that, so decode
// without keeping anything to find out whether one fails.
[[nodiscard]] AransError plane_error_or_invalid_length(const StreamLayout& layout) {
  if (!decode_interleaved(layout, nullptr, 0)) return AransError::truncated();
  return AransError::invalid_length();
}

}  // namespace

AransResult<std::uint64_t> decoded_stream_size(std::span<const std::uint8_t> stream) {
  if (stream.size() < kMinCodedInput) return stream.size();
  const auto layout = read_layout(stream);
  if (!layout) return std::unexpected(layout.error());
  return 2 * std::uint64_t{layout->pairs} + (layout->odd ? 1 : 0);
}

AransResult<std::vector<std::uint8_t>> decode_stream(std::span<const std::uint8_t> stream,
                                                     std::uint64_t max_bytes) {
  if (stream.size() < kMinCodedInput) {
    const auto kept = static_cast<std::size_t>(std::min<std::uint64_t>(stream.size(), max_bytes));
    return std::vector<std::uint8_t>(stream.begin(), stream.begin() + kept);
  }
  const auto layout = read_layout(stream);
  if (!layout) return std::unexpected(layout.error());
  const std::uint64_t full = 2 * std::uint64_t{layout->pairs} + (layout->odd ? 1 : 0);
  const std::uint64_t kept = std::min(full, max_bytes);
  const auto kept_pairs =
      static_cast<std::size_t>(std::min<std::uint64_t>(layout->pairs, (kept + 1) / 2));
  const bool keeps_last = kept == full && layout->odd;
  // The kept part is sized once, up front, and the planes decode straight into it.
  std::vector<std::uint8_t> out;
  try {
    out = populated_vector<std::uint8_t>(2 * kept_pairs + (keeps_last ? 1 : 0));
  } catch (const std::bad_alloc&) {
    return std::unexpected(plane_error_or_invalid_length(*layout));
  } catch (const std::length_error&) {
    return std::unexpected(plane_error_or_invalid_length(*layout));
  }
  if (!decode_interleaved(*layout, out.data(), kept_pairs)) {
    return std::unexpected(AransError::truncated());
  }
  if (keeps_last) out.back() = stream.back();
  out.resize(static_cast<std::size_t>(kept));
  return out;
}

AransResult<std::vector<std::uint8_t>> decode_stream(std::span<const std::uint8_t> stream) {
  return decode_stream(stream, std::numeric_limits<std::uint64_t>::max());
}

}  // namespace tessarine::arans
