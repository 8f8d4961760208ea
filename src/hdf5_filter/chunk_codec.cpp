#include "hdf5_filter/chunk_codec.hpp"

#include <algorithm>
#include <cstring>

#include "capi/tessarine.h"

namespace tessarine::hdf5 {
namespace {

constexpr std::size_t kWord = 4;

std::uint32_t read_u32(const std::uint8_t* at) {
  return std::uint32_t{at[0]} | std::uint32_t{at[1]} << 8 | std::uint32_t{at[2]} << 16 |
         std::uint32_t{at[3]} << 24;
}

void write_u32(std::uint8_t* at, std::uint64_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Frames and containers hold samples in native (little-endian) order.
void swap_elements(std::span<std::uint8_t> bytes, unsigned size) {
  for (std::size_t at = 0; at + size <= bytes.size(); at += size) {
    std::reverse(bytes.begin() + at, bytes.begin() + at + size);
  }
}

// Lane a * B + b is chunk[a, :, b], B the elements after the lane axis; with B = 1 the lanes
// are the chunk's rows as they lie.
void move_lanes(const FilterSettings& settings, std::span<const std::uint8_t> from,
                std::span<std::uint8_t> to, bool gather) {
  const std::size_t size = settings.element->size;
  const std::uint64_t length = settings.lane_length(), after = settings.after_axis();
  const std::uint64_t lanes = settings.lane_count();
  for (std::uint64_t lane = 0; lane < lanes; ++lane) {
    const std::uint64_t a = lane / after, b = lane % after;
    for (std::uint64_t i = 0; i < length; ++i) {
      const std::size_t in_chunk = ((a * length + i) * after + b) * size;
      const std::size_t in_lanes = (lane * length + i) * size;
      if (gather) {
        std::memcpy(to.data() + in_lanes, from.data() + in_chunk, size);
      } else {
        std::memcpy(to.data() + in_chunk, from.data() + in_lanes, size);
      }
    }
  }
}

std::string failure(const char* what, tessarine_status status) {
  return std::string(what) + ": " + tessarine_status_text(status) + " (" + tessarine_last_error() + ")";
}

// One lane coded into `dst`; the size written.
ChunkResult<std::size_t> encode_lane(const FilterSettings& settings, tessarine_dtype dtype,
                                     const std::uint8_t* lane, std::span<std::uint8_t> dst) {
  const std::uint64_t n = settings.lane_length();
  std::size_t written = 0;
  const tessarine_status status =
      settings.mode == Mode::Frame
          ? tessarine_frame_compress(lane, n, dtype, &settings.bound, 1, dst.data(), dst.size(),
                                     &written)
          : tessarine_container_compress(reinterpret_cast<const float*>(lane), n,
                                         &settings.container, dst.data(), dst.size(), &written);
  if (status != TESSARINE_OK) return std::unexpected(failure("tessarine cannot code a lane", status));
  return written;
}

std::size_t lane_bound(const FilterSettings& settings, tessarine_dtype dtype) {
  return settings.mode == Mode::Frame ? tessarine_frame_compress_bound(dtype, settings.lane_length())
                                      : tessarine_container_compress_bound(settings.lane_length());
}

// The lane decoded must be of the dataset's type and length: anything else is damage.
ChunkResult<void> decode_lane(const FilterSettings& settings, std::span<const std::uint8_t> lane, std::span<std::uint8_t> out) {
  tessarine_status status;
  std::uint64_t decoded = 0;
  if (settings.mode == Mode::Frame) {
    std::size_t bytes = 0;
    status = tessarine_frame_decompress(lane.data(), lane.size(), 1, out.data(), out.size(), &bytes);
    decoded = bytes;
    // The CRC has been checked: bytes 9 and 10 are the frame's dtype kind and size.
    if (status == TESSARINE_OK && (lane[9] != static_cast<std::uint8_t>(settings.element->kind) ||
                                   lane[10] != settings.element->size)) {
      return std::unexpected("tessarine lane holds another dtype than the dataset");
    }
  } else {
    status = tessarine_container_decompress(lane.data(), lane.size(),
                                            reinterpret_cast<float*>(out.data()),
                                            out.size() / sizeof(float), &decoded);
    decoded *= sizeof(float);
  }
  if (status != TESSARINE_OK) return std::unexpected(failure("tessarine cannot decode a lane", status));
  if (decoded != out.size()) return std::unexpected("tessarine lane is shorter than the chunk's");
  return {};
}

}  // namespace

std::uint64_t chunk_bytes(const FilterSettings& settings) {
  if (!settings.element) return 0;
  return settings.lane_count() * settings.lane_length() * settings.element->size;
}

ChunkResult<std::vector<std::uint8_t>> encode_chunk(const FilterSettings& settings,
                                                    std::span<const std::uint8_t> samples) {
  const auto dtype = settings.element ? dtype_of(*settings.element) : std::nullopt;
  if (!dtype || samples.size() != chunk_bytes(settings)) {
    return std::unexpected("tessarine filter was not set up for this dataset's chunks");
  }
  std::vector<std::uint8_t> prepared;
  const bool across = settings.after_axis() > 1;
  if (across || settings.element->big_endian) {
    prepared.resize(samples.size());
    if (across) {
      move_lanes(settings, samples, prepared, true);
    } else {
      std::ranges::copy(samples, prepared.begin());
    }
    if (settings.element->big_endian) swap_elements(prepared, settings.element->size);
    samples = prepared;
  }
  const std::uint64_t lanes = settings.lane_count();
  const std::size_t lane_size = settings.lane_length() * settings.element->size;
  const std::size_t bound = lane_bound(settings, *dtype);
  std::vector<std::uint8_t> out(kWord * (1 + lanes) + bound * lanes);
  write_u32(out.data(), lanes);
  std::size_t end = kWord * (1 + lanes);
  for (std::uint64_t i = 0; i < lanes; ++i) {
    auto written = encode_lane(settings, *dtype, samples.data() + i * lane_size,
                               std::span(out).subspan(end, bound));
    if (!written) return std::unexpected(written.error());
    write_u32(out.data() + kWord * (1 + i), *written);
    end += *written;
  }
  out.resize(end);
  return out;
}

ChunkResult<void> decode_chunk(const FilterSettings& settings, std::span<const std::uint8_t> data,
                               std::span<std::uint8_t> out) {
  const auto dtype = settings.element ? dtype_of(*settings.element) : std::nullopt;
  if (!dtype || out.size() != chunk_bytes(settings)) {
    return std::unexpected("tessarine filter values lack the dataset's element type or chunk shape");
  }
  const std::uint64_t lanes = settings.lane_count();
  if (data.size() < kWord || read_u32(data.data()) != lanes ||
      data.size() < kWord * (1 + lanes)) {
    return std::unexpected("tessarine chunk is damaged: its lane count does not match the dataset");
  }
  // Sizes must add up to the chunk exactly before any lane is read.
  std::uint64_t total = kWord * (1 + lanes);
  for (std::uint64_t i = 0; i < lanes; ++i) total += read_u32(data.data() + kWord * (1 + i));
  if (total != data.size()) return std::unexpected("tessarine chunk is damaged: lane sizes do not add up");
  const std::size_t lane_size = settings.lane_length() * settings.element->size;
  const bool across = settings.after_axis() > 1;
  std::vector<std::uint8_t> lanes_buffer(across ? out.size() : 0);
  const std::span<std::uint8_t> target = across ? std::span(lanes_buffer) : out;
  std::size_t at = kWord * (1 + lanes);
  for (std::uint64_t i = 0; i < lanes; ++i) {
    const std::size_t size = read_u32(data.data() + kWord * (1 + i));
    auto decoded = decode_lane(settings, data.subspan(at, size), target.subspan(i * lane_size, lane_size));
    if (!decoded) return decoded;
    at += size;
  }
  if (across) move_lanes(settings, lanes_buffer, out, false);
  if (settings.element->big_endian) swap_elements(out, settings.element->size);
  return {};
}

}  // namespace tessarine::hdf5
