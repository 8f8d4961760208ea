// The byte layout of a coded chunk (constant, Rice, or rANS with up to six contexts over
// tokens and extra bits) is in docs/format.md, section 10.5; keep the two in step.
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
