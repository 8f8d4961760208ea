#pragma once

// What the interleaved rANS loops look up per token: the encoder's division-free step and the
// decoder's slot table. States are 32-bit, kept in [kRansLow, 2^32), renormalised 16 bits at a
// time; a token of frequency f starting at cumulative frequency c codes as
//   x' = (x / f) * kScale + x % f + c          (encoder)
//   x  = f * (x' >> kScaleBits) + (x' % kScale) - c   (decoder)

#include <cstdint>

#include "predictive/rans_contexts.hpp"
#include "predictive/rans_frequencies.hpp"

namespace tessarine::predictive {

inline constexpr std::uint32_t kRansLow = std::uint32_t{1} << 16;

// x / f = high 64 bits of x * reciprocal (exact for x < 2^32, f <= kScale); for f = 1 the
// reciprocal is 2^64 - 1, giving x - 1, and the bias absorbs the difference.
struct EncodeSymbol {
  std::uint64_t reciprocal;
  std::uint64_t x_max;  // renormalise before coding when x >= x_max
  std::uint32_t bias;
  std::uint32_t complement;  // kScale - f
};

// Fills `symbols[0..kTokenCount)`; absent tokens are left as they are.
void make_encode_symbols(const Frequencies& frequencies, EncodeSymbol* symbols);

// A decoder slot packs f | (slot - c) << 12 | token << 24 (f <= kScale fits below bit 12): the
// token sets the next group's context, so the next lookup waits on one load, not two.
inline constexpr unsigned kSlotOffsetShift = 12;
inline constexpr unsigned kSlotTokenShift = 24;
inline constexpr std::uint32_t kSlotFrequencyMask = (std::uint32_t{1} << kSlotOffsetShift) - 1;
static_assert(kScale <= kSlotFrequencyMask);

// Fills `slots[0..kScale)`. An empty context gets slots that leave the state as it is.
void fill_decode_slots(const Frequencies& frequencies, std::uint32_t* slots);

}  // namespace tessarine::predictive
