#include <cstdint>
#include <new>
#include <stdexcept>

#include "entropy/arans.hpp"
#include "entropy/leb128.hpp"
#include "entropy/plane_model.hpp"

namespace tessarine::arans {
namespace {

// Inputs shorter than this are stored as they are; a coded stream is never shorter.
constexpr std::size_t kMinCodedInput = 6;
// Larger inputs get the full previous byte as context: enough data to train 256 contexts.
constexpr std::size_t kWideContextInput = 16384;
constexpr unsigned kNarrowContextBits = 3;

}  // namespace

std::vector<std::uint8_t> encode_stream(std::span<const std::uint8_t> input) {
  const std::size_t n = input.size();
  if (n < kMinCodedInput) return {input.begin(), input.end()};
  const std::size_t pairs = n / 2;
  std::vector<std::uint8_t> low(pairs);
  std::vector<std::uint8_t> high(pairs);
  for (std::size_t i = 0; i < pairs; ++i) {
    low[i] = input[2 * i];
    high[i] = input[2 * i + 1];
  }
  const unsigned k = n < kWideContextInput ? kNarrowContextBits : kMaxContextBits;
  const std::vector<std::uint8_t> low_coded = encode_plane(low, k);
  const std::vector<std::uint8_t> high_coded = encode_plane(high, k);
  std::vector<std::uint8_t> out;
  out.push_back(static_cast<std::uint8_t>(n & 1));
  out.push_back(static_cast<std::uint8_t>(k));
  append_leb128(out, pairs);
  append_leb128(out, low_coded.size());
  out.insert(out.end(), low_coded.begin(), low_coded.end());
  out.insert(out.end(), high_coded.begin(), high_coded.end());
  if (n & 1) out.push_back(input.back());
  return out;
}

AransResult<std::vector<std::uint8_t>> decode_stream(std::span<const std::uint8_t> stream) {
  const std::size_t s = stream.size();
  if (s < kMinCodedInput) return std::vector<std::uint8_t>(stream.begin(), stream.end());
  const std::size_t odd = stream[0] & 1u;
  const unsigned k = stream[1];
  if (k > kMaxContextBits) return std::unexpected(AransError::invalid_length());
  std::size_t position = 2;
  const auto pairs = rv(stream, position);
  if (!pairs) return std::unexpected(pairs.error());
  if (*pairs > kMaxPairCount) return std::unexpected(AransError::invalid_length());
  const auto low_size = rv(stream, position);
  if (!low_size) return std::unexpected(low_size.error());
  if (*low_size > SIZE_MAX - position) return std::unexpected(AransError::invalid_length());
  const std::size_t low_end = position + *low_size;
  if (s - odd < low_end) return std::unexpected(AransError::truncated());
  const auto low = decode_plane(stream.subspan(position, *low_size), *pairs, k);
  if (!low) return std::unexpected(low.error());
  const auto high = decode_plane(stream.subspan(low_end, s - odd - low_end), *pairs, k);
  if (!high) return std::unexpected(high.error());
  std::vector<std::uint8_t> out;
  try {
    out.resize(2 * *pairs + odd);
  } catch (const std::bad_alloc&) {
    return std::unexpected(AransError::invalid_length());
  }
  for (std::size_t i = 0; i < *pairs; ++i) {
    out[2 * i] = (*low)[i];
    out[2 * i + 1] = (*high)[i];
  }
  if (odd) out.back() = stream.back();
  return out;
}

}  // namespace tessarine::arans
