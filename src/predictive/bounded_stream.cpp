#include "predictive/bounded_stream.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <new>

#include "predictive/code_coder.hpp"
#include "predictive/error_stats.hpp"
#include "predictive/float_format.hpp"
#include "predictive/float_kernel.hpp"
#include "predictive/float_quantiser.hpp"
#include "predictive/integer_kernels.hpp"
#include "predictive/lossless_grid.hpp"
#include "predictive/scratch.hpp"
#include "predictive/stream_layout.hpp"

namespace tessarine::predictive {
namespace {

static_assert(kStreamChunk == kCodeChunk);

StreamHeader choose_stream_header(SampleType type, double max_error) {
  if (type.is_float()) {
    if (max_error == 0.0) return {StreamMode::FloatBits, 0};
    return {StreamMode::QuantisedFloats, std::bit_cast<std::uint64_t>(float_step(max_error))};
  }
  if (max_error < 1.0) return {StreamMode::ExactIntegers, 0};
  const std::uint64_t widest = max_half_width(type.size);
  const double k = std::floor(max_error);
  return {StreamMode::BinnedIntegers, k >= static_cast<double>(widest) ? widest : static_cast<std::uint64_t>(k)};
}

template <template <unsigned, bool> class Kernel, class Visit, class... Args>
PredictiveResult<void> with_integer_kernel(SampleType type, std::size_t capacity, Visit& visit, Args... args) {
  const bool is_signed = type.kind == 'i';
  switch (type.size) {
    case 1:
      if (is_signed) { Kernel<1, true> k(capacity, args...); return visit(k); }
      else { Kernel<1, false> k(capacity, args...); return visit(k); }
    case 2:
      if (is_signed) { Kernel<2, true> k(capacity, args...); return visit(k); }
      else { Kernel<2, false> k(capacity, args...); return visit(k); }
    case 4:
      if (is_signed) { Kernel<4, true> k(capacity, args...); return visit(k); }
      else { Kernel<4, false> k(capacity, args...); return visit(k); }
    default:
      if (is_signed) { Kernel<8, true> k(capacity, args...); return visit(k); }
      else { Kernel<8, false> k(capacity, args...); return visit(k); }
  }
}

// Lossless floats on a grid (lossless_grid.hpp); spacing 0 for other types and floats off one.
Grid find_lossless_grid(const SampleView& samples) {
  if (!samples.type.is_float() || samples.count == 0) return {};
  if (samples.type.size == 2) return find_lossless_grid<HalfFormat>(samples);
  if (samples.type.size == 4) return find_lossless_grid<SingleFormat>(samples);
  return find_lossless_grid<DoubleFormat>(samples);
}

template <class Format, class Visit>
PredictiveResult<void> visit_float_kernel(double step, double bound, std::size_t capacity, Visit& visit) {
  FloatKernel<Format> kernel(step, bound, capacity);
  return visit(kernel);
}

template <unsigned kSize, class Visit>
PredictiveResult<void> visit_float_bits_kernel(std::size_t capacity, Visit& visit) {
  FloatBitsKernel<kSize> kernel(capacity);
  return visit(kernel);
}

// Builds the kernel for the type and mode (its buffers hold one chunk) and hands it to visit.
template <class Visit>
PredictiveResult<void> with_kernel(SampleType type, const StreamHeader& header, double bound,
                                   std::size_t capacity, Visit&& visit) {
  switch (header.mode) {
    case StreamMode::ExactIntegers:
      return with_integer_kernel<ExactIntegerKernel>(type, capacity, visit);
    case StreamMode::BinnedIntegers:
      return with_integer_kernel<BinnedKernel>(type, capacity, visit, header.parameter);
    case StreamMode::FloatBits:
      if (type.size == 2) return visit_float_bits_kernel<2>(capacity, visit);
      if (type.size == 4) return visit_float_bits_kernel<4>(capacity, visit);
      return visit_float_bits_kernel<8>(capacity, visit);
    case StreamMode::QuantisedFloats:
      break;
  }
  const double step = std::bit_cast<double>(header.parameter);
  if (type.size == 2) return visit_float_kernel<HalfFormat>(step, bound, capacity, visit);
  if (type.size == 4) return visit_float_kernel<SingleFormat>(step, bound, capacity, visit);
  return visit_float_kernel<DoubleFormat>(step, bound, capacity, visit);
}

// Per chunk: header (patched once the counts are known), codes, escapes.
template <class Kernel>
PredictiveResult<void> encode_chunks(Kernel& kernel, const SampleView& samples, std::vector<std::uint8_t>& out,
                                     ErrorStats& stats) {
  Scratch<std::uint64_t> codes_buffer(std::min(samples.count, kCodeChunk));
  std::uint64_t* codes = codes_buffer.get();
  EscapeWriter escapes(samples.type.size);
  for (std::size_t first = 0; first < samples.count; first += kCodeChunk) {
    const std::size_t n = std::min(kCodeChunk, samples.count - first);
    kernel.load(samples, first, n);
    const ChunkHeader header = kernel.plan(n);
    escapes.clear();
    const std::span<std::uint64_t> chunk_codes(codes, n);
    kernel.encode(header, chunk_codes, escapes, stats);
    const std::size_t counts_at = write_chunk_header(header, n, Kernel::kExtras, out);
    const std::size_t codes_start = out.size();
    const auto coded = encode_codes(chunk_codes, out);
    if (!coded) return std::unexpected(coded.error());
    const std::size_t code_bytes = out.size() - codes_start;
    if (code_bytes > UINT32_MAX) return std::unexpected(PredictiveError::bad_argument("a chunk's codes exceed 4 GiB"));
    patch_chunk_counts(out, counts_at, escapes.count(), static_cast<std::uint32_t>(code_bytes));
    out.insert(out.end(), escapes.bytes().begin(), escapes.bytes().end());
  }
  return {};
}

// The chunks that hold `samples` samples, `in` at the first one's header, into `out`.
template <class Kernel>
PredictiveResult<void> decode_chunks(Kernel& kernel, ByteReader& in, SampleType type,
                                     std::size_t samples, std::byte* out) {
  Scratch<std::uint64_t> codes_buffer(std::min(samples, kCodeChunk));
  std::uint64_t* codes = codes_buffer.get();
  for (std::size_t done = 0; done < samples; done += kCodeChunk) {
    const std::size_t n = std::min(kCodeChunk, samples - done);
    const auto header = read_chunk_header(in, n, Kernel::kExtras);
    if (!header) return std::unexpected(header.error());
    const auto coded = in.take(header->code_bytes, "codes are cut short");
    if (!coded) return std::unexpected(coded.error());
    const std::span<std::uint64_t> chunk_codes(codes, n);
    const auto used = decode_codes(*coded, chunk_codes);
    if (!used) return std::unexpected(used.error());
    if (*used != coded->size()) return std::unexpected(PredictiveError::damaged("code bytes left over"));
    const auto escaped = in.take(std::size_t{header->escape_count} * type.size, "escapes are cut short");
    if (!escaped) return std::unexpected(escaped.error());
    EscapeReader escapes(*escaped, type.size);
    const auto done_chunk = kernel.decode(*header, chunk_codes, escapes, out + done * type.size);
    if (!done_chunk) return std::unexpected(done_chunk.error());
    if (!escapes.exhausted()) return std::unexpected(PredictiveError::damaged("escapes left over"));
  }
  return {};
}

ChunkExtras extras_of(const StreamHeader& header, SampleType type) {
  switch (header.mode) {
    case StreamMode::QuantisedFloats:
      return ChunkExtras::FloatQuantiser;
    case StreamMode::FloatBits:
      return ChunkExtras::None;
    default:
      return type.is_float() ? ChunkExtras::None : ChunkExtras::IntegerGrid;
  }
}

// The fewest bytes a chunk takes: layout, counts (codes may take none).
constexpr std::size_t kSmallestChunk = 9;

std::size_t chunk_count(std::size_t samples) {
  return (samples + kCodeChunk - 1) / kCodeChunk;
}

// Reads and checks the stream header, and that the bytes can hold the chunks `count` needs.
PredictiveResult<StreamHeader> open_stream(ByteReader& in, SampleType type, std::size_t count) {
  const auto header = read_stream_header(in, type);
  if (!header) return header;
  if (header->mode == StreamMode::BinnedIntegers && header->parameter > max_half_width(type.size)) {
    return std::unexpected(PredictiveError::damaged("bin wider than the type"));
  }
  if (in.remaining() / kSmallestChunk < chunk_count(count)) {
    return std::unexpected(PredictiveError::damaged("stream too short for its chunks"));
  }
  return header;
}

}  // namespace

PredictiveResult<EncodedStream> encode_stream(const SampleView& samples, double max_error) {
  if (!samples.type.is_valid()) return std::unexpected(PredictiveError::bad_argument("unsupported sample type"));
  if (!(max_error >= 0.0) || !std::isfinite(max_error)) {
    return std::unexpected(PredictiveError::bad_argument("max_error must be finite and not negative"));
  }
  if (samples.count > 0 && samples.data == nullptr) {
    return std::unexpected(PredictiveError::bad_argument("samples have no data"));
  }
  try {
    EncodedStream result;
    const Grid grid = max_error == 0.0 ? find_lossless_grid(samples) : Grid{};
    const StreamHeader header =
        grid.spacing > 0.0
            ? StreamHeader{StreamMode::QuantisedFloats, std::bit_cast<std::uint64_t>(grid.spacing)}
            : choose_stream_header(samples.type, max_error);
    write_stream_header(header, result.bytes);
    ErrorStats stats;
    const auto done = with_kernel(samples.type, header, max_error,
                                  std::min(samples.count, kCodeChunk), [&](auto& kernel) {
                                    if constexpr (requires { kernel.fix_grid(grid); })
                                      kernel.fix_grid(grid);
                                    return encode_chunks(kernel, samples, result.bytes, stats);
                                  });
    if (!done) return std::unexpected(done.error());
    result.max_abs_error = stats.max_abs;
    result.sum_squared_error = stats.sum_squared;
    result.finite_count = stats.finite;
    return result;
  } catch (const std::bad_alloc&) {
    return std::unexpected(PredictiveError::out_of_memory());
  }
}

PredictiveResult<void> decode_stream(std::span<const std::uint8_t> stream, SampleType type, std::size_t count,
                                     std::span<std::byte> out) {
  if (!type.is_valid()) return std::unexpected(PredictiveError::bad_argument("unsupported sample type"));
  if (count > out.size() / type.size || out.size() != count * type.size) {
    return std::unexpected(PredictiveError::bad_argument("output size does not match the sample count"));
  }
  ByteReader in(stream);
  const auto header = open_stream(in, type, count);
  if (!header) return std::unexpected(header.error());
  try {
    return with_kernel(
        type, *header, 0.0, std::min(count, kCodeChunk),
        [&](auto& kernel) -> PredictiveResult<void> {
          const auto done = decode_chunks(kernel, in, type, count, out.data());
          if (!done) return done;
          if (!in.at_end())
            return std::unexpected(PredictiveError::damaged("bytes after the last chunk"));
          return {};
        });
  } catch (const std::bad_alloc&) {
    return std::unexpected(PredictiveError::out_of_memory());
  }
}

PredictiveResult<std::vector<std::size_t>> find_chunks(std::span<const std::uint8_t> stream,
                                                       SampleType type, std::size_t count) {
  if (!type.is_valid())
    return std::unexpected(PredictiveError::bad_argument("unsupported sample type"));
  ByteReader in(stream);
  const auto header = open_stream(in, type, count);
  if (!header) return std::unexpected(header.error());
  const ChunkExtras extras = extras_of(*header, type);
  try {
    std::vector<std::size_t> starts;
    starts.reserve(chunk_count(count) + 1);
    for (std::size_t first = 0; first < count; first += kCodeChunk) {
      starts.push_back(in.position());
      const auto chunk = read_chunk_header(in, std::min(kCodeChunk, count - first), extras);
      if (!chunk) return std::unexpected(chunk.error());
      const auto coded = in.take(chunk->code_bytes, "codes are cut short");
      if (!coded) return std::unexpected(coded.error());
      const auto escaped =
          in.take(std::size_t{chunk->escape_count} * type.size, "escapes are cut short");
      if (!escaped) return std::unexpected(escaped.error());
    }
    if (!in.at_end())
      return std::unexpected(PredictiveError::damaged("bytes after the last chunk"));
    starts.push_back(stream.size());
    return starts;
  } catch (const std::bad_alloc&) {
    return std::unexpected(PredictiveError::out_of_memory());
  }
}

PredictiveResult<void> decode_stream_chunks(std::span<const std::uint8_t> stream, SampleType type,
                                            std::size_t count, std::span<const std::size_t> starts,
                                            std::size_t first, std::size_t last,
                                            std::span<std::byte> out) {
  const std::size_t chunks = chunk_count(count);
  if (!type.is_valid() || starts.size() != chunks + 1 || first > last || last > chunks ||
      starts[last] > stream.size() || starts[first] > starts[last]) {
    return std::unexpected(PredictiveError::bad_argument("chunks do not match the stream"));
  }
  const std::size_t samples = std::min(count, last * kCodeChunk) - first * kCodeChunk;
  if (out.size() != samples * type.size) {
    return std::unexpected(
        PredictiveError::bad_argument("output size does not match the sample count"));
  }
  ByteReader head(stream);
  const auto header = open_stream(head, type, count);
  if (!header) return std::unexpected(header.error());
  ByteReader in(stream.subspan(starts[first], starts[last] - starts[first]));
  try {
    return with_kernel(type, *header, 0.0, std::min(samples, kCodeChunk), [&](auto& kernel) {
      return decode_chunks(kernel, in, type, samples, out.data());
    });
  } catch (const std::bad_alloc&) {
    return std::unexpected(PredictiveError::out_of_memory());
  }
}

}  // namespace tessarine::predictive
