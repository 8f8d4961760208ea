// Coded chunk layout. n, the number of codes, is known to the decoder and not stored.
//
// n = 0 takes no bytes. Otherwise byte 0 is the mode:
//
// 0  Constant: every code equals v. v follows as an LEB128 varint (7 bits a byte, least
//    significant group first, high bit set on all bytes but the last; at most 10 bytes).
//
// 1  Rice (no table; chosen for short chunks). Byte 1 is k (0..63). Then the bit stream of the
//    codes in order. Code v: with q = v >> k, if q < 16, q one bits, one zero bit, then the
//    low k bits of v; else sixteen one bits, 6 bits b = bit_width(v) - 1, then the b bits of v
//    below its top bit. The chunk ends with the byte holding the last bit; the encoder writes
//    that byte's unused high bits as zero (the decoder ignores them).
//
// 2..7  rANS with C = mode - 1 contexts:
//    a. C - 1 threshold bytes, strictly increasing, each >= 1. Tokens form groups of four
//       (token i is in group i / 4); the context value of every token of group g >= 1 is
//       min(255, sum of the four tokens of group g - 1), and 0 in group 0. Token i is coded in
//       context "how many thresholds are <= its context value".
//    b. C frequency tables, context 0 first. Each: one byte R, the number of runs of tokens
//       present; R pairs of bytes (absent tokens since the end of the previous run or since
//       token 0, run length - 1); then for each present token in increasing order its
//       frequency - 1 as an LEB128 varint (1..2 bytes, value < 2048). A table with R > 0 sums
//       to exactly M = 2048; R = 0 is a context that codes nothing.
//    c. X, the bytes of the extra bits, as an LEB128 varint (at most 3 bytes), then those X
//       bytes: the extra bits of the codes in code order; X = ceil(their total / 8), unused
//       high bits of the last byte written as zero. Tokens: a code v < 16 is token v;
//       otherwise, with b = bit_width(v)-1 (4..63) and m the two bits of v below bit b, token
//       16 + 4 * (b - 4) + m with b - 2 extra bits, the low bits of v. (Placed before the
//       token stream, so a decoder can read each code's extra bits as it decodes its token.)
//    d. The token stream. Token i is coded by lane i % 4 with 32-bit states,
//       M = 2048, L = 2^16, 16-bit renormalisation. The encoder starts every lane at L and
//       codes the tokens from last to first: if x >= f * 2^21 it emits x & 0xFFFF and sets
//       x >>= 16; then x = (x / f) * 2048 + x % f + c, where c is the cumulative frequency of
//       the tokens below this one in its context. Stored: the final states of lanes
//       0..min(n,4)-1 as 32-bit little-endian values, then the emitted 16-bit words
//       little-endian, last emitted first. The decoder, per token i in order on lane
//       x = state[i % 4]: slot = x % 2048 picks the token whose range [c, c+f) holds it,
//       x = f * (x >> 11) + slot - c, and if x < 2^16 then x = x << 16 | next word. Decoded
//       states must all end at 2^16. The chunk ends with the stream's last word.
//
// Bit streams (mode 1 and the extra bits) are least significant bit first: stream bit j is bit j % 8 of
// byte j / 8, and every value's bits go least significant first.
//
// The decoder rejects (as damaged): an unknown mode; a varint longer than its limit or over 64 bits; k > 63;
// thresholds that do not rise from >= 1; a run reaching past token 255; extra bits that do not
// fill exactly X bytes or an X past the input's end; a frequency varint
// over 2 bytes or >= 2048; a table with R > 0 not summing to 2048; a stored state < 2^16; final
// states other than 2^16; and any stream or table that needs bytes past the input's end.
//
// The encoder writes mode 0 when all codes are equal, otherwise mode 2..7; for chunks of at
// most kRiceTrialCodes codes it also sizes mode 1 exactly and keeps the smaller.
#include "predictive/code_coder.hpp"

#include <algorithm>
#include <new>

#include "predictive/code_modes.hpp"
#include "predictive/code_rice.hpp"
#include "predictive/code_varint.hpp"
#include "predictive/rans_chunk.hpp"

namespace tessarine::predictive {
namespace {

// Beyond this many codes the tables' cost is small beside the codes and rANS always wins.
constexpr std::size_t kRiceTrialCodes = 4096;

void encode_chunk(std::span<const std::uint64_t> codes, std::vector<std::uint8_t>& out) {
  if (std::all_of(codes.begin(), codes.end(), [&](std::uint64_t v) { return v == codes[0]; })) {
    out.push_back(kModeConstant);
    put_varint(codes[0], out);
    return;
  }
  const std::size_t head = out.size();
  encode_rans_chunk(codes, out);
  if (codes.size() > kRiceTrialCodes) return;
  const unsigned k = best_rice_parameter(codes);
  if (rice_chunk_size(codes, k) < out.size() - head) {
    out.resize(head);
    encode_rice_chunk(codes, k, out);
  }
}

PredictiveResult<std::size_t> decode_constant(std::span<const std::uint8_t> bytes,
                                              std::span<std::uint64_t> codes) {
  std::size_t at = 1;
  const auto value = get_varint(bytes, at, 10);
  if (!value) {
    return std::unexpected(PredictiveError::damaged(at >= bytes.size() ? "codes are cut short"
                                                                       : "code value is invalid"));
  }
  std::fill(codes.begin(), codes.end(), *value);
  return at;
}

}  // namespace

PredictiveResult<void> encode_codes(std::span<const std::uint64_t> codes,
                                    std::vector<std::uint8_t>& out) {
  if (codes.size() > kCodeChunk) {
    return std::unexpected(PredictiveError::bad_argument("too many codes for one chunk"));
  }
  if (codes.empty()) return {};
  const std::size_t head = out.size();
  try {
    encode_chunk(codes, out);
  } catch (const std::bad_alloc&) {
    out.resize(std::min(out.size(), head));
    return std::unexpected(PredictiveError::out_of_memory());
  }
  return {};
}

PredictiveResult<std::size_t> decode_codes(std::span<const std::uint8_t> bytes,
                                           std::span<std::uint64_t> codes) {
  if (codes.empty()) return 0;
  if (codes.size() > kCodeChunk) {
    return std::unexpected(PredictiveError::bad_argument("too many codes for one chunk"));
  }
  if (bytes.empty()) return std::unexpected(PredictiveError::damaged("codes are cut short"));
  const std::uint8_t mode = bytes[0];
  try {
    if (mode == kModeConstant) return decode_constant(bytes, codes);
    if (mode == kModeRice) return decode_rice_chunk(bytes, codes);
    if (mode <= kModeRansLast) return decode_rans_chunk(bytes, codes);
  } catch (const std::bad_alloc&) {
    return std::unexpected(PredictiveError::out_of_memory());
  }
  return std::unexpected(PredictiveError::damaged("code mode is invalid"));
}

}  // namespace tessarine::predictive
