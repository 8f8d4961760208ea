#include "entropy/plane_decoder.hpp"

#include <new>
#include <stdexcept>
#include <vector>

#include "entropy/arans.hpp"

namespace tessarine::arans {
namespace {

[[nodiscard]] bool decide_checked(PlaneCursor& c, std::uint16_t* context, std::uint32_t& node) {
  decide(c, context, node);
  while (c.x < kStateLowerBound) {
    if (bytes_left(c) < 2) return false;
    c.x = (c.x << kWordBits) | load_word(c.bytes + 2 * c.word);
    ++c.word;
  }
  return true;
}

}  // namespace

PlaneCursor open_plane(std::span<const std::uint8_t> coded, unsigned context_bits,
                       std::uint16_t* model) {
  const std::uint8_t* s = coded.data();
  return {s,
          coded.size(),
          2,  // after the 32-bit state
          model,
          std::uint32_t{s[0]} | std::uint32_t{s[1]} << 8 | std::uint32_t{s[2]} << 16 |
              std::uint32_t{s[3]} << 24,
          0,
          kSymbolBits - context_bits};
}

bool decode_symbol(PlaneCursor& c, std::uint8_t& symbol) {
  std::uint16_t* const context = symbol_context(c);
  std::uint32_t node = 1;
  if (can_decode_fast(c)) {
#pragma GCC unroll 8
    for (unsigned d = 0; d < kSymbolBits; ++d) decide_fast(c, context, node);
  } else {
    for (unsigned d = 0; d < kSymbolBits; ++d) {
      if (!decide_checked(c, context, node)) return false;
    }
  }
  symbol = finish_symbol(c, node);
  return true;
}

AransResult<std::vector<std::uint8_t>> decode_plane(std::span<const std::uint8_t> coded,
                                                    std::size_t count, unsigned context_bits) {
  std::vector<std::uint8_t> out;
  if (count == 0) return out;
  if (coded.size() < 4) return std::unexpected(AransError::truncated());
  if (context_bits > kMaxContextBits) return std::unexpected(AransError::invalid_length());
  try {
    out.resize(count);
  } catch (const std::bad_alloc&) {
    return std::unexpected(AransError::invalid_length());
  } catch (const std::length_error&) {
    return std::unexpected(AransError::invalid_length());
  }
  std::vector<std::uint16_t> model(model_entries(context_bits), kInitialProbability);
  PlaneCursor cursor = open_plane(coded, context_bits, model.data());
  for (std::uint8_t& symbol : out) {
    if (!decode_symbol(cursor, symbol)) return std::unexpected(AransError::truncated());
  }
  return out;
}

}  // namespace tessarine::arans
