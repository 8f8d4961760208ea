// libFuzzer target: decode_stream must turn any byte string into either an error value or
// bytes, without crashing or reading outside the input. What it returns must survive a round
// trip through encode_stream. Build with clang++ -fsanitize=fuzzer,address,undefined and link
// tessarine_arans.
#include <cstddef>
#include <cstdint>
#include <span>

#include "entropy/arans.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using tessarine::arans::decode_stream;
  using tessarine::arans::encode_stream;
  const auto decoded = decode_stream(std::span<const std::uint8_t>(data, size));
  if (!decoded) {
    if (decoded.error().display().empty()) __builtin_trap();
    return 0;
  }
  // A short, highly skewed stream can legitimately declare millions of symbols; re-encoding
  // those would only slow the fuzzer down.
  constexpr std::size_t kMaxRoundTrip = std::size_t{1} << 20;
  if (decoded->size() > kMaxRoundTrip) return 0;
  const auto again = decode_stream(encode_stream(*decoded));
  if (!again || *again != *decoded) __builtin_trap();
  return 0;
}
