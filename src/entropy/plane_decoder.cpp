#include "entropy/plane_decoder.hpp"

#include <new>
#include <stdexcept>
#include <vector>

#include "entropy/arans.hpp"
#include "entropy/fast_decision.hpp"

namespace tessarine::arans {
namespace {

[[nodiscard]] bool decide_checked(PlaneCursor& c, std::uint16_t* context, std::uint32_t& node) {
  decide(c, context, node);
  while (c.x < kStateLowerBound) {
    if (c.end - c.next < 2) return false;
    c.x = (c.x << kWordBits) | load_word(c.next);
    c.next += 2;
  }
  return true;
}

}  // namespace

PlaneCursor open_plane(std::span<const std::uint8_t> coded, unsigned context_bits,
                       std::uint16_t* model) {
  const std::uint8_t* s = coded.data();
  return {s + 4,  // after the 32-bit state
          s + coded.size(),
          model,
          std::uint32_t{s[0]} | std::uint32_t{s[1]} << 8 | std::uint32_t{s[2]} << 16 |
              std::uint32_t{s[3]} << 24,
          0,
          kSymbolBits - context_bits};
}

bool decode_symbol(PlaneCursor& c, std::uint8_t& symbol) {
  if (can_decode_fast(c)) {
    FastSymbol s = begin_fast_symbol(c);
#pragma GCC unroll 7
    for (unsigned d = 0; d + 1 < kSymbolBits; ++d) decide_fast<false>(c, s);
    decide_fast<true>(c, s);
    symbol = finish_fast_symbol(c, s);
    return true;
  }
  std::uint16_t* const context = symbol_context(c);
  std::uint32_t node = 1;
  for (unsigned d = 0; d < kSymbolBits; ++d) {
    if (!decide_checked(c, context, node)) return false;
  }
  c.previous = node & 0xFF;
  symbol = static_cast<std::uint8_t>(c.previous);
  return true;
}

AransResult<std::vector<std::uint8_t>> decode_plane(std::span<const std::uint8_t> coded,
                                                    std::size_t count, unsigned context_bits) {
  std::vector<std::uint8_t> out;
  if (count == 0) return out;
  if (coded.size() < 4) return std::unexpected(AransError::truncated());
  if (context_bits > kMaxContextBits) return std::unexpected(AransError::invalid_length());
  // More symbols than the plane can hold would run out of words: fail before allocating.
  if (count > max_plane_symbols(coded.size()) && count <= out.max_size()) {
    return std::unexpected(AransError::truncated());
  }
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
