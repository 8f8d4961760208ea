#include "entropy/arans.hpp"
#include "entropy/leb128.hpp"
#include "entropy/plane_encoder.hpp"
#include "entropy/stream_format.hpp"

namespace tessarine::arans {

std::vector<std::uint8_t> encode_stream(std::span<const std::uint8_t> input) {
  const std::size_t n = input.size();
  if (n < kMinCodedInput) return {input.begin(), input.end()};
  const std::size_t pairs = n / 2;
  const unsigned k = n < kWideContextInput ? kNarrowContextBits : kWideContextBits;
  // The planes are read in place, every other byte, and both passes handle them together.
  PlaneEncoder<2> planes(input.first(2 * pairs), k);
  planes.encode();
  const std::span<const std::uint8_t> low_coded = planes.coded(0);
  const std::span<const std::uint8_t> high_coded = planes.coded(1);

  std::vector<std::uint8_t> out;
  constexpr std::size_t kMaxHeaderBytes = 2 + 2 * 10;
  out.reserve(kMaxHeaderBytes + low_coded.size() + high_coded.size() + 1);
  out.push_back(static_cast<std::uint8_t>(n & 1));
  out.push_back(static_cast<std::uint8_t>(k));
  append_leb128(out, pairs);
  append_leb128(out, low_coded.size());
  out.insert(out.end(), low_coded.begin(), low_coded.end());
  out.insert(out.end(), high_coded.begin(), high_coded.end());
  if (n & 1) out.push_back(input.back());
  return out;
}

}  // namespace tessarine::arans
