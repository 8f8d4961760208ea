// libFuzzer target: the bounded frame's promise on any samples. The first byte picks the
// sample type, the next eight give the bound (max_error, made finite and non-negative), the
// rest are the samples' raw bytes; a first byte of 128 or more also cuts them into small blocks.
// Every decoded sample must be within the bound in exact arithmetic, every non-finite one (and
// every one at a bound of 0) bit for bit, and the count and type unchanged.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "frame/bounded_frame.hpp"
#include "frame/frame_decode.hpp"
#include "frame/frame_format.hpp"
#include "predictive/half_float.hpp"

namespace {

using tessarine::predictive::SampleType;

constexpr SampleType kTypes[] = {{'f', 2}, {'f', 4}, {'f', 8}, {'i', 1}, {'i', 2}, {'i', 4},
                                 {'i', 8}, {'u', 1}, {'u', 2}, {'u', 4}, {'u', 8}};

double float_at(const std::uint8_t* at, std::size_t size) {
  if (size == 2) {
    std::uint16_t half;
    std::memcpy(&half, at, 2);
    return tessarine::predictive::half_to_double(half);
  }
  if (size == 4) {
    float value;
    std::memcpy(&value, at, 4);
    return value;
  }
  double value;
  std::memcpy(&value, at, 8);
  return value;
}

__int128 integer_at(const std::uint8_t* at, SampleType type) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, at, type.size);
  if (type.kind == 'u') return bits;
  const unsigned unused = 64 - 8 * type.size;
  return static_cast<std::int64_t>(bits << unused) >> unused;
}

// |x - y| <= e exactly: the rounded difference decides unless it equals e, where the TwoSum
// error term does.
bool within(double x, double y, double e) {
  const double d = x - y;
  if (std::isinf(d)) return false;
  const double back = d + y;                            // TwoSum of x and -y
  const double error = (x - back) - (y - (back - d));  // x - y == d + error exactly
  if (std::fabs(d) != e) return std::fabs(d) < e;
  return error == 0.0 || (d > 0) != (error > 0);
}

bool sample_holds(const std::uint8_t* in, const std::uint8_t* out, SampleType type, double e) {
  if (type.kind != 'f') {
    const __int128 gap = integer_at(in, type) - integer_at(out, type);
    const double allowed = std::floor(e);
    return static_cast<double>(gap < 0 ? -gap : gap) <= allowed;
  }
  const double x = float_at(in, type.size);
  // Non-finite samples, and every sample of a lossless frame (-0.0 included), come back bit
  // for bit.
  if (!std::isfinite(x) || e == 0.0) return std::memcmp(in, out, type.size) == 0;
  return within(x, float_at(out, type.size), e);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 9) return 0;
  const SampleType type = kTypes[data[0] % std::size(kTypes)];
  double bound;
  std::memcpy(&bound, data + 1, 8);
  bound = std::isfinite(bound) ? std::fabs(bound) : 0.5;
  const std::size_t count = (size - 9) / type.size;
  const std::uint8_t* samples = data + 9;
  tessarine::frame::Bound asked;
  asked.max_error = bound;
  const tessarine::predictive::SampleView view{reinterpret_cast<const std::byte*>(samples), count,
                                               static_cast<std::ptrdiff_t>(type.size), type};
  // Inputs with a large first byte are cut into small blocks coded on two threads.
  const tessarine::frame::BlockOptions blocks =
      data[0] >= 128 ? tessarine::frame::BlockOptions{1 + data[0] % 61u * 17u, 2}
                     : tessarine::frame::BlockOptions{};
  const auto frame = tessarine::frame::compress_bounded(view, asked, blocks);
  if (!frame) return 0;  // a refusal (a bound the coder cannot take) is an answer
  const auto parsed = tessarine::frame::parse_frame(*frame);
  if (!parsed || parsed->header.count != count || !(parsed->header.type == type)) __builtin_trap();
  std::vector<std::uint8_t> out(count * type.size);
  if (!tessarine::frame::decode_frame(*parsed, std::as_writable_bytes(std::span(out)), 2)) {
    __builtin_trap();
  }
  for (std::size_t i = 0; i < count; ++i) {
    if (!sample_holds(samples + i * type.size, out.data() + i * type.size, type, bound)) {
      __builtin_trap();
    }
  }
  return 0;
}
