#pragma once

// The one table of payload coders. A container's coder byte, the option that asks for a coder,
// its name and its two functions all come from here; adding a coder means one entry below, its
// enum value and its own file.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "codec/error.hpp"
#include "codec/raw_deflate.hpp"

namespace tessarine {

// Entropy coder asked for. The values are the codes the options carry (Python, the C API and
// stored HDF5 filter settings hold them), so they never move. `Auto` asks for no coder of its
// own: it is resolved to kAutoCoder when the payload is encoded and is never stored.
enum class Coder : std::uint8_t { Deflate = 0, Arans = 1, Auto = 2 };

inline constexpr Coder kAutoCoder = Coder::Arans;
inline constexpr std::string_view kAutoCoderName = "auto";

// Codes a whole payload.
using PayloadEncode = TessarineResult<std::vector<std::uint8_t>> (*)(std::span<const std::uint8_t>);
// Decodes at most `max_output` bytes of a payload: later bytes would be ignored anyway and must
// not cost memory. May give fewer; the caller checks the count.
using PayloadDecode = TessarineResult<std::vector<std::uint8_t>> (*)(std::span<const std::uint8_t>,
                                                                     std::size_t max_output);

struct PayloadCoder {
  Coder coder;
  std::uint8_t header_byte;  // the value of the container header's coder byte
  std::string_view name;     // as the options spell it
  PayloadEncode encode;
  PayloadDecode decode;
};

// The rANS stream of entropy/, with the codec's limits and error texts (payload_coders.cpp).
[[nodiscard]] TessarineResult<std::vector<std::uint8_t>> encode_arans_payload(
    std::span<const std::uint8_t> bytes);
[[nodiscard]] TessarineResult<std::vector<std::uint8_t>> decode_arans_payload(
    std::span<const std::uint8_t> payload, std::size_t max_output);

inline constexpr std::array<PayloadCoder, 2> kPayloadCoders{{
    {Coder::Deflate, 0, "deflate", &deflate_raw, &inflate_raw},
    {Coder::Arans, 1, "arans", &encode_arans_payload, &decode_arans_payload},
}};

// The coder an option asks for, `Auto` resolved; null for a value outside the enum.
[[nodiscard]] constexpr const PayloadCoder* coder_for_option(Coder coder) {
  const Coder resolved = coder == Coder::Auto ? kAutoCoder : coder;
  for (const PayloadCoder& entry : kPayloadCoders) {
    if (entry.coder == resolved) return &entry;
  }
  return nullptr;
}

// The coder a header's coder byte names; null for a byte no coder has.
[[nodiscard]] constexpr const PayloadCoder* coder_for_header_byte(std::uint8_t header_byte) {
  for (const PayloadCoder& entry : kPayloadCoders) {
    if (entry.header_byte == header_byte) return &entry;
  }
  return nullptr;
}

}  // namespace tessarine
