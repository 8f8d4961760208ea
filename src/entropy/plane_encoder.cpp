#include "entropy/plane_encoder.hpp"

#include <algorithm>
#include <vector>

#include "entropy/arans.hpp"

namespace tessarine::arans {
namespace {

// One plane's model while it is being trained. `previous` is the symbol coded last.
struct ModelState {
  std::uint16_t* model;
  unsigned context_shift;
  std::uint32_t previous;
};

// Records the eight decisions of `symbol` in model order, most significant bit first, and
// adapts the model after each.
[[gnu::always_inline]] inline void record_symbol(ModelState& m, std::uint32_t symbol,
                                                 std::uint16_t* records) {
  std::uint16_t* const context = m.model + ((m.previous >> m.context_shift) << kSymbolBits);
  std::uint32_t node = 1;
#pragma GCC unroll 8
  for (unsigned d = 0; d < kSymbolBits; ++d) {
    const std::uint32_t bit = (symbol >> (kSymbolBits - 1 - d)) & 1u;
    const std::uint32_t record = decision_record(context[node], bit);
    records[d] = static_cast<std::uint16_t>(record);
    context[node] = kAdaptedProbability[record];
    node = 2 * node + bit;
  }
  m.previous = symbol;
}

[[nodiscard]] std::vector<std::uint16_t> fresh_model(unsigned context_bits) {
  return std::vector<std::uint16_t>(model_entries(std::min(context_bits, kMaxContextBits)),
                                    kInitialProbability);
}

[[nodiscard]] unsigned context_shift(unsigned context_bits) {
  return kSymbolBits - std::min(context_bits, kMaxContextBits);
}

}  // namespace

PlaneEncoder::PlaneEncoder(std::size_t symbol_count)
    : pages_((kRecordOffset + symbol_count * kSymbolBits) * sizeof(std::uint16_t)),
      slots_(static_cast<std::uint16_t*>(pages_.data())),
      decisions_(symbol_count * kSymbolBits) {}

void model_plane(std::span<const std::uint8_t> symbols, unsigned context_bits,
                 PlaneEncoder& plane) {
  std::vector<std::uint16_t> model = fresh_model(context_bits);
  ModelState state{model.data(), context_shift(context_bits), 0};
  std::uint16_t* records = plane.records();
  for (const std::uint8_t symbol : symbols) {
    record_symbol(state, symbol, records);
    records += kSymbolBits;
  }
}

void model_planes(std::span<const std::uint8_t> pairs, unsigned context_bits, PlaneEncoder& even,
                  PlaneEncoder& odd) {
  // Each model's updates form a chain through memory (adapt, store, load the same entry for
  // the next symbol); training both in one loop lets the two chains overlap.
  const std::size_t entries = model_entries(std::min(context_bits, kMaxContextBits));
  std::vector<std::uint16_t> models(2 * entries, kInitialProbability);
  ModelState even_state{models.data(), context_shift(context_bits), 0};
  ModelState odd_state{models.data() + entries, context_shift(context_bits), 0};
  std::uint16_t* even_records = even.records();
  std::uint16_t* odd_records = odd.records();
  for (std::size_t i = 0; i + 1 < pairs.size(); i += 2) {
    record_symbol(even_state, pairs[i], even_records);
    record_symbol(odd_state, pairs[i + 1], odd_records);
    even_records += kSymbolBits;
    odd_records += kSymbolBits;
  }
}

void PlaneEncoder::finish(BackwardCoder coder) {
  // The state goes below the first word, little-endian: low half first.
  first_slot_ = coder.next_word - 2;
  slots_[first_slot_] = to_little_endian(static_cast<std::uint16_t>(coder.x));
  slots_[first_slot_ + 1] = to_little_endian(static_cast<std::uint16_t>(coder.x >> kWordBits));
}

std::span<const std::uint8_t> PlaneEncoder::coded() const {
  const auto* first = reinterpret_cast<const std::uint8_t*>(slots_ + first_slot_);
  return {first, (kRecordOffset + decisions_ - first_slot_) * sizeof(std::uint16_t)};
}

void code_backward(PlaneEncoder& plane) {
  BackwardCoder coder{plane.slots_, kRecordOffset + plane.decisions_, kStateLowerBound};
  for (std::size_t i = plane.decisions_; i-- > 0;) code_decision(coder, i);
  plane.finish(coder);
}

void code_backward(PlaneEncoder& first, PlaneEncoder& second) {
  // Locals, not members: stores through the uint16_t slots could otherwise force the states
  // through memory on every decision.
  BackwardCoder a{first.slots_, kRecordOffset + first.decisions_, kStateLowerBound};
  BackwardCoder b{second.slots_, kRecordOffset + second.decisions_, kStateLowerBound};
  for (std::size_t i = first.decisions_; i-- > 0;) {
    code_decision(a, i);
    code_decision(b, i);
  }
  first.finish(a);
  second.finish(b);
}

std::vector<std::uint8_t> encode_plane(std::span<const std::uint8_t> symbols,
                                       unsigned context_bits) {
  if (symbols.empty()) return {};
  PlaneEncoder encoder(symbols.size());
  model_plane(symbols, context_bits, encoder);
  code_backward(encoder);
  const std::span<const std::uint8_t> coded = encoder.coded();
  return {coded.begin(), coded.end()};
}

}  // namespace tessarine::arans
