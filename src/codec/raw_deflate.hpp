#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "codec/error.hpp"

namespace tessarine {

// Raw DEFLATE (no zlib or gzip wrapper). With libdeflate built in, its compressor at the
// build's level (7 unless configured otherwise), otherwise zlib at level 6. A stream failure
// becomes `Io`.
[[nodiscard]] TessarineResult<std::vector<std::uint8_t>> deflate_raw(
    std::span<const std::uint8_t> input);

// Inflates a raw DEFLATE stream until it ends, the input is used up, or `max_output` bytes
// are produced, whichever comes first: a stream cut short yields what was decoded so far,
// and a small hostile stream cannot expand beyond what the caller can use. A malformed
// stream fails with `Decompression` "corrupt deflate stream".
[[nodiscard]] TessarineResult<std::vector<std::uint8_t>> inflate_raw(
    std::span<const std::uint8_t> input, std::size_t max_output);

// Whether deflate_raw and inflate_raw use libdeflate in this build.
[[nodiscard]] bool libdeflate_built_in() noexcept;

// The two halves of the above, exposed so that tests can hold them against each other.
// zlib at level 6, writing everything and then finishing.
[[nodiscard]] TessarineResult<std::vector<std::uint8_t>> deflate_raw_zlib(
    std::span<const std::uint8_t> input);
// zlib's streaming inflation, with the contract of inflate_raw.
[[nodiscard]] TessarineResult<std::vector<std::uint8_t>> inflate_raw_zlib(
    std::span<const std::uint8_t> input, std::size_t max_output);
// libdeflate's one-shot inflation, answering only for a stream that decodes without error to
// exactly `size` bytes and uses every input byte; none otherwise and without libdeflate.
[[nodiscard]] std::optional<std::vector<std::uint8_t>> inflate_raw_whole(
    std::span<const std::uint8_t> input, std::size_t size);

}  // namespace tessarine
