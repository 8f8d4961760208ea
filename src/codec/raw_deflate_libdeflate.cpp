// deflate_raw and the one-shot half of inflate_raw: libdeflate where the build has it, zlib
// otherwise.
#include <memory>

#include "codec/raw_deflate.hpp"
#include "memory/prefault.hpp"

#if defined(TESSARINE_HAVE_LIBDEFLATE)
#include <libdeflate.h>
#endif

namespace tessarine {

#if defined(TESSARINE_HAVE_LIBDEFLATE)
namespace {

// The fastest level whose output on the recorded signals, taken together, is no larger than
// zlib's level 6 (bench/deflate_bench.cpp measures it); the build may choose another.
#if defined(TESSARINE_LIBDEFLATE_LEVEL)
constexpr int kLibdeflateLevel = TESSARINE_LIBDEFLATE_LEVEL;
#else
constexpr int kLibdeflateLevel = 7;
#endif
// No DEFLATE stream expands more than 1032-fold (258-byte matches in under 2 bits each), so
// a larger requested size cannot be met and is not worth allocating for.
constexpr std::size_t kMaxExpansion = 1032;
constexpr std::size_t kSmallestStream = 2;

struct CompressorDeleter {
  void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};
struct DecompressorDeleter {
  void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

}  // namespace

bool libdeflate_built_in() noexcept { return true; }

TessarineResult<std::vector<std::uint8_t>> deflate_raw(std::span<const std::uint8_t> input) {
  const std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor(
      libdeflate_alloc_compressor(kLibdeflateLevel));
  if (!compressor) return std::unexpected(TessarineError::io("insufficient memory"));
  std::vector<std::uint8_t> out = populated_vector<std::uint8_t>(
      libdeflate_deflate_compress_bound(compressor.get(), input.size()));
  const std::size_t written = libdeflate_deflate_compress(compressor.get(), input.data(),
                                                          input.size(), out.data(), out.size());
  // The bound always suffices; a zero here would be a library fault, not a property of the data.
  if (written == 0) return std::unexpected(TessarineError::io("buffer error"));
  out.resize(written);
  out.shrink_to_fit();
  return out;
}

std::optional<std::vector<std::uint8_t>> inflate_raw_whole(std::span<const std::uint8_t> input,
                                                           std::size_t size) {
  if (input.size() < kSmallestStream || size / kMaxExpansion > input.size()) return std::nullopt;
  const std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> decompressor(
      libdeflate_alloc_decompressor());
  if (!decompressor) return std::nullopt;
  std::vector<std::uint8_t> out = populated_vector<std::uint8_t>(size);
  std::size_t read = 0;
  std::size_t written = 0;
  const libdeflate_result result = libdeflate_deflate_decompress_ex(
      decompressor.get(), input.data(), input.size(), out.data(), out.size(), &read, &written);
  if (result != LIBDEFLATE_SUCCESS || read != input.size() || written != size) {
    return std::nullopt;
  }
  return out;
}

#else

bool libdeflate_built_in() noexcept { return false; }

TessarineResult<std::vector<std::uint8_t>> deflate_raw(std::span<const std::uint8_t> input) {
  return deflate_raw_zlib(input);
}

std::optional<std::vector<std::uint8_t>> inflate_raw_whole(std::span<const std::uint8_t>,
                                                           std::size_t) {
  return std::nullopt;
}

#endif

}  // namespace tessarine
