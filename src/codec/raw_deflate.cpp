#include "codec/raw_deflate.hpp"

#include <zlib.h>

#include <algorithm>
#include <string>

namespace tessarine {
namespace {

constexpr int kLevel = 6;
constexpr int kRawWindowBits = -15;  // negative: no zlib header or trailer
constexpr int kMemLevel = 8;
// zlib counts in 32-bit units; larger buffers are fed in pieces of this size.
constexpr std::size_t kMaxChunk = std::size_t{1} << 30;
constexpr std::size_t kFirstInflateBuffer = std::size_t{1} << 16;

std::string stream_text(const z_stream& stream, int code) {
  return stream.msg != nullptr ? std::string(stream.msg) : std::string(zError(code));
}

// Owns an initialised zlib stream; `End` is deflateEnd or inflateEnd.
template <int (*End)(z_streamp)>
class ZStream {
 public:
  ZStream() = default;
  ZStream(const ZStream&) = delete;
  ZStream& operator=(const ZStream&) = delete;
  ~ZStream() {
    if (live_) End(&stream_);
  }
  z_stream& get() { return stream_; }
  void mark_live() { live_ = true; }

 private:
  z_stream stream_{};
  bool live_ = false;
};

// Points the stream at the unread input and the free output, at most kMaxChunk of each.
void set_windows(z_stream& s, std::span<const std::uint8_t> input, std::size_t in_pos,
                 std::vector<std::uint8_t>& out, std::size_t out_pos) {
  s.next_in = const_cast<Bytef*>(input.data() + in_pos);
  s.avail_in = static_cast<uInt>(std::min(input.size() - in_pos, kMaxChunk));
  s.next_out = out.data() + out_pos;
  s.avail_out = static_cast<uInt>(std::min(out.size() - out_pos, kMaxChunk));
}

}  // namespace

TessarineResult<std::vector<std::uint8_t>> deflate_raw_zlib(std::span<const std::uint8_t> input) {
  ZStream<deflateEnd> owner;
  z_stream& s = owner.get();
  const int init =
      deflateInit2(&s, kLevel, Z_DEFLATED, kRawWindowBits, kMemLevel, Z_DEFAULT_STRATEGY);
  if (init != Z_OK) return std::unexpected(TessarineError::io(stream_text(s, init)));
  owner.mark_live();
  std::vector<std::uint8_t> out(deflateBound(&s, input.size()) + 16);
  std::size_t in_pos = 0;
  std::size_t out_pos = 0;
  for (;;) {
    if (out_pos == out.size()) out.resize(2 * out.size());
    set_windows(s, input, in_pos, out, out_pos);
    const uInt in_given = s.avail_in;
    const uInt out_given = s.avail_out;
    const bool last = in_pos + in_given == input.size();
    const int code = deflate(&s, last ? Z_FINISH : Z_NO_FLUSH);
    in_pos += in_given - s.avail_in;
    out_pos += out_given - s.avail_out;
    if (code == Z_STREAM_END) break;
    if (code != Z_OK && code != Z_BUF_ERROR) {
      return std::unexpected(TessarineError::io(stream_text(s, code)));
    }
  }
  out.resize(out_pos);
  return out;
}

TessarineResult<std::vector<std::uint8_t>> inflate_raw_zlib(std::span<const std::uint8_t> input,
                                                            std::size_t max_output) {
  ZStream<inflateEnd> owner;
  z_stream& s = owner.get();
  const int init = inflateInit2(&s, kRawWindowBits);
  if (init != Z_OK) return std::unexpected(TessarineError::decompression(stream_text(s, init)));
  owner.mark_live();
  // Grow from what the input plausibly holds; the output is never sized from max_output alone.
  std::vector<std::uint8_t> out(
      std::min(max_output, std::max(kFirstInflateBuffer, 4 * input.size())));
  std::size_t in_pos = 0;
  std::size_t out_pos = 0;
  for (;;) {
    if (out_pos == out.size()) {
      if (out.size() == max_output) break;
      out.resize(std::min(max_output, 2 * out.size()));
    }
    set_windows(s, input, in_pos, out, out_pos);
    const uInt in_given = s.avail_in;
    const uInt out_given = s.avail_out;
    const int code = inflate(&s, Z_NO_FLUSH);
    in_pos += in_given - s.avail_in;
    out_pos += out_given - s.avail_out;
    if (code == Z_STREAM_END) break;
    if (code == Z_DATA_ERROR || code == Z_NEED_DICT) {
      return std::unexpected(TessarineError::decompression("corrupt deflate stream"));
    }
    const bool input_used_up = in_pos == input.size();
    if (code == Z_BUF_ERROR && input_used_up) break;
    if (code != Z_OK && code != Z_BUF_ERROR) {
      return std::unexpected(TessarineError::decompression(stream_text(s, code)));
    }
  }
  out.resize(out_pos);
  return out;
}

TessarineResult<std::vector<std::uint8_t>> inflate_raw(std::span<const std::uint8_t> input,
                                                       std::size_t max_output) {
  // The caller's size is what a well-formed payload decodes to, so the one-shot decoder takes
  // almost every stream; anything it does not finish exactly goes the streaming way, whose
  // handling of short, long, trailing and malformed streams is the defined one.
  auto whole = inflate_raw_whole(input, max_output);
  if (whole) return std::move(*whole);
  return inflate_raw_zlib(input, max_output);
}

}  // namespace tessarine
