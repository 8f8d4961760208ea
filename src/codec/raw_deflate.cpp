#include "codec/raw_deflate.hpp"

#include <zlib.h>

#include <algorithm>
#include <memory>
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

// Ends an initialised zlib stream; `End` is deflateEnd or inflateEnd. Held by a unique_ptr
// to the caller's stream, so that every return ends it.
template <int (*End)(z_streamp)>
struct EndStream {
  void operator()(z_stream* stream) const { End(stream); }
};

// How far a stream has read its input and written its output.
struct Positions {
  std::size_t in = 0;
  std::size_t out = 0;
};

// One call of `step` (deflate or inflate) on the unread input and the free output, at most
// kMaxChunk of each; `at` advances by what it consumed and produced. Returns zlib's code.
template <class Step>
int advance(z_stream& s, std::span<const std::uint8_t> input, std::vector<std::uint8_t>& out,
            Positions& at, const Step& step) {
  s.next_in = const_cast<Bytef*>(input.data() + at.in);
  s.avail_in = static_cast<uInt>(std::min(input.size() - at.in, kMaxChunk));
  s.next_out = out.data() + at.out;
  s.avail_out = static_cast<uInt>(std::min(out.size() - at.out, kMaxChunk));
  const uInt in_given = s.avail_in;
  const uInt out_given = s.avail_out;
  const int code = step();
  at.in += in_given - s.avail_in;
  at.out += out_given - s.avail_out;
  return code;
}

}  // namespace

TessarineResult<std::vector<std::uint8_t>> deflate_raw_zlib(std::span<const std::uint8_t> input) {
  z_stream s{};
  const int init =
      deflateInit2(&s, kLevel, Z_DEFLATED, kRawWindowBits, kMemLevel, Z_DEFAULT_STRATEGY);
  if (init != Z_OK) return std::unexpected(TessarineError::io(stream_text(s, init)));
  const std::unique_ptr<z_stream, EndStream<deflateEnd>> live(&s);
  std::vector<std::uint8_t> out(deflateBound(&s, input.size()) + 16);
  Positions at;
  // Finishes once the call is given the last of the input.
  const auto step = [&] {
    return deflate(&s, at.in + s.avail_in == input.size() ? Z_FINISH : Z_NO_FLUSH);
  };
  for (;;) {
    if (at.out == out.size()) out.resize(2 * out.size());
    const int code = advance(s, input, out, at, step);
    if (code == Z_STREAM_END) break;
    if (code != Z_OK && code != Z_BUF_ERROR) {
      return std::unexpected(TessarineError::io(stream_text(s, code)));
    }
  }
  out.resize(at.out);
  return out;
}

TessarineResult<std::vector<std::uint8_t>> inflate_raw_zlib(std::span<const std::uint8_t> input,
                                                            std::size_t max_output) {
  z_stream s{};
  const int init = inflateInit2(&s, kRawWindowBits);
  if (init != Z_OK) return std::unexpected(TessarineError::decompression(stream_text(s, init)));
  const std::unique_ptr<z_stream, EndStream<inflateEnd>> live(&s);
  // Grow from what the input plausibly holds; the output is never sized from max_output alone.
  std::vector<std::uint8_t> out(
      std::min(max_output, std::max(kFirstInflateBuffer, 4 * input.size())));
  Positions at;
  const auto step = [&] { return inflate(&s, Z_NO_FLUSH); };
  for (;;) {
    if (at.out == out.size()) {
      if (out.size() == max_output) break;
      out.resize(std::min(max_output, 2 * out.size()));
    }
    const int code = advance(s, input, out, at, step);
    if (code == Z_STREAM_END) break;
    if (code == Z_DATA_ERROR || code == Z_NEED_DICT) {
      return std::unexpected(TessarineError::decompression("corrupt deflate stream"));
    }
    const bool input_used_up = at.in == input.size();
    if (code == Z_BUF_ERROR && input_used_up) break;
    if (code != Z_OK && code != Z_BUF_ERROR) {
      return std::unexpected(TessarineError::decompression(stream_text(s, code)));
    }
  }
  out.resize(at.out);
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
