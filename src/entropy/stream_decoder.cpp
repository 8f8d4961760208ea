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
  return StreamLayout{*pairs, k, stream.subspan(position, *low_size),
                      stream.subspan(low_end, planes_end - low_end), odd};
}

// Decodes symbol pairs while both planes can take the fast path. The cursors are copied into
// locals so that they live in registers: the byte stores to `out` could alias them otherwise.
[[nodiscard]] std::size_t decode_pairs_fast(PlaneCursor& low_cursor, PlaneCursor& high_cursor,
                                            std::uint8_t* out, std::size_t first,
                                            std::size_t pairs) {
  PlaneCursor low = low_cursor;
  PlaneCursor high = high_cursor;
  std::size_t i = first;
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

// Decodes both planes straight into their interleaved places in `out`.
[[nodiscard]] bool decode_interleaved(const StreamLayout& layout, std::uint8_t* out) {
  if (layout.pairs == 0) return true;
  if (layout.low_plane.size() < 4 || layout.high_plane.size() < 4) return false;
  const std::size_t entries = model_entries(layout.context_bits);
  std::vector<std::uint16_t> models(2 * entries, kInitialProbability);
  PlaneCursor low = open_plane(layout.low_plane, layout.context_bits, models.data());
  PlaneCursor high = open_plane(layout.high_plane, layout.context_bits, models.data() + entries);
  std::size_t i = 0;
  while (i < layout.pairs) {
    i = decode_pairs_fast(low, high, out, i, layout.pairs);
    if (i == layout.pairs) break;
    // One pair the careful way, then try the fast path again.
    if (!decode_symbol(low, out[2 * i]) || !decode_symbol(high, out[2 * i + 1])) return false;
    ++i;
  }
  return true;
}

// The output could not be allocated. A damaged plane is reported before that, so decode the
// planes on their own (each needs half the memory) to find out whether one fails.
[[nodiscard]] AransError plane_error_or_invalid_length(const StreamLayout& layout) {
  const auto low = decode_plane(layout.low_plane, layout.pairs, layout.context_bits);
  if (!low) return low.error();
  const auto high = decode_plane(layout.high_plane, layout.pairs, layout.context_bits);
  if (!high) return high.error();
  return AransError::invalid_length();
}

}  // namespace

AransResult<std::vector<std::uint8_t>> decode_stream(std::span<const std::uint8_t> stream) {
  if (stream.size() < kMinCodedInput) {
    return std::vector<std::uint8_t>(stream.begin(), stream.end());
  }
  const auto layout = read_layout(stream);
  if (!layout) return std::unexpected(layout.error());
  // The output is sized once, up front, and the planes decode straight into it.
  std::vector<std::uint8_t> out;
  try {
    out = populated_vector<std::uint8_t>(2 * layout->pairs + (layout->odd ? 1 : 0));
  } catch (const std::bad_alloc&) {
    return std::unexpected(plane_error_or_invalid_length(*layout));
  } catch (const std::length_error&) {
    return std::unexpected(plane_error_or_invalid_length(*layout));
  }
  if (!decode_interleaved(*layout, out.data())) return std::unexpected(AransError::truncated());
  if (layout->odd) out.back() = stream.back();
  return out;
}

}  // namespace tessarine::arans
