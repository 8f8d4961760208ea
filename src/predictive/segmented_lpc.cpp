#include "predictive/segmented_lpc.hpp"

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tessarine::predictive {

#if defined(__SSE2__)
namespace {

constexpr std::size_t kLanes = 4;
static_assert(kLpcSegments == kLanes && kLpcOrder == 8);

// Lane s runs segment s. The history sits in four registers of 16-bit pairs, the newer lag in
// the low half: (v[i-1], v[i-2]), (v[i-3], v[i-4]), ..., so that one multiply-add per register
// gives c_a v_a + c_b v_b per lane. Only the newest pair waits on the previous step.
struct History16 {
  __m128i p12, p34, p56, p78;

  void push(__m128i v) {
    const __m128i low16 = _mm_set1_epi32(0xFFFF);
    p78 = _mm_or_si128(_mm_srli_epi32(p56, 16), _mm_slli_epi32(p78, 16));
    p56 = _mm_or_si128(_mm_srli_epi32(p34, 16), _mm_slli_epi32(p56, 16));
    p34 = _mm_or_si128(_mm_srli_epi32(p12, 16), _mm_slli_epi32(p34, 16));
    p12 = _mm_or_si128(_mm_and_si128(v, low16), _mm_slli_epi32(p12, 16));
  }
};

__m128i pair_of(std::int64_t low, std::int64_t high) {
  const auto bits = static_cast<std::uint32_t>(static_cast<std::uint16_t>(low)) |
                    static_cast<std::uint32_t>(static_cast<std::uint16_t>(high)) << 16;
  return _mm_set1_epi32(static_cast<int>(bits));
}

struct Segments {
  std::array<std::size_t, kLanes> begin;
  std::array<std::size_t, kLanes> length;
};

Segments segments_of(std::size_t n) {
  const std::size_t length = lpc_segment_length(n);
  Segments s{};
  for (std::size_t lane = 0; lane < kLanes; ++lane) {
    s.begin[lane] = std::min(n, lane * length);
    s.length[lane] = std::min(n, (lane + 1) * length) - s.begin[lane];
  }
  return s;
}

// The residuals of step j, low 32 bits (their low 16 are all a 16- or 8-bit value needs); lanes
// past their segment's end get 0 when kChecked.
template <bool kChecked>
__m128i residuals(const std::uint64_t* codes, const Segments& s, std::size_t j) {
  std::array<std::uint32_t, kLanes> c{};
  for (std::size_t lane = 0; lane < kLanes; ++lane) {
    if (!kChecked || j < s.length[lane])
      c[lane] = static_cast<std::uint32_t>(codes[s.begin[lane] + j]);
  }
  const __m128i code = _mm_set_epi32(static_cast<int>(c[3]), static_cast<int>(c[2]),
                                     static_cast<int>(c[1]), static_cast<int>(c[0]));
  const __m128i odd = _mm_and_si128(code, _mm_set1_epi32(1));
  return _mm_xor_si128(_mm_srli_epi32(code, 1), _mm_sub_epi32(_mm_setzero_si128(), odd));
}

// The low kSize bytes of each lane's low 16 bits, to its segment's sample j.
template <unsigned kSize, bool kChecked>
void store(__m128i samples, const Segments& s, std::size_t j, std::byte* out) {
  const std::array<std::uint16_t, kLanes> lanes{
      static_cast<std::uint16_t>(_mm_extract_epi16(samples, 0)),
      static_cast<std::uint16_t>(_mm_extract_epi16(samples, 2)),
      static_cast<std::uint16_t>(_mm_extract_epi16(samples, 4)),
      static_cast<std::uint16_t>(_mm_extract_epi16(samples, 6))};
  for (std::size_t lane = 0; lane < kLanes; ++lane) {
    if (!kChecked || j < s.length[lane])
      std::memcpy(out + kSize * (s.begin[lane] + j), &lanes[lane], kSize);
  }
}

// p + r taken to a value of the type, as the 64-bit loop's canonical() does: 16-bit values are
// the low 16 bits (the history's own reading), 8-bit ones are sign-extended or masked from 8.
template <unsigned kSize>
__m128i canonical(__m128i v, bool values_signed) {
  if constexpr (kSize == 1) {
    return values_signed ? _mm_srai_epi32(_mm_slli_epi32(v, 24), 24)
                         : _mm_and_si128(v, _mm_set1_epi32(0xFF));
  } else {
    return v;
  }
}

template <unsigned kSize>
bool decode_segments(std::span<const std::uint64_t> codes, const LpcFilter& filter,
                     std::int64_t level, bool values_signed, std::uint16_t origin,
                     std::uint16_t spacing, std::byte* out) {
  if (!values_signed && (level < 0 || level > INT16_MAX)) return false;
  const auto& c = filter.coefficients;
  const __m128i c12 = pair_of(c[0], c[1]), c34 = pair_of(c[2], c[3]), c56 = pair_of(c[4], c[5]),
                c78 = pair_of(c[6], c[7]);
  const __m128i half = _mm_set1_epi32(filter.shift == 0 ? 0 : 1 << (filter.shift - 1));
  const __m128i shift = _mm_cvtsi32_si128(static_cast<int>(filter.shift));
  const __m128i grid_spacing = _mm_set1_epi16(static_cast<short>(spacing));
  const __m128i grid_origin = _mm_set1_epi16(static_cast<short>(origin));
  History16 h{pair_of(level, level), pair_of(level, level), pair_of(level, level),
              pair_of(level, level)};
  __m128i low = h.p12;  // the least and greatest 16-bit values the history held
  __m128i high = h.p12;
  const Segments s = segments_of(codes.size());
  auto step = [&]<bool kChecked>(std::size_t j) {
    // The older pairs and the rounding term first: only the newest pair's product is on the
    // chain from one step to the next.
    const __m128i older =
        _mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(h.p34, c34), half),
                      _mm_add_epi32(_mm_madd_epi16(h.p56, c56), _mm_madd_epi16(h.p78, c78)));
    const __m128i sum = _mm_add_epi32(older, _mm_madd_epi16(h.p12, c12));
    const __m128i v = canonical<kSize>(
        _mm_add_epi32(_mm_sra_epi32(sum, shift), residuals<kChecked>(codes.data(), s, j)),
        values_signed);
    h.push(v);
    low = _mm_min_epi16(low, h.p12);
    high = _mm_max_epi16(high, h.p12);
    store<kSize, kChecked>(_mm_add_epi16(_mm_mullo_epi16(v, grid_spacing), grid_origin), s, j, out);
  };
  std::size_t j = 0;
  for (; j < s.length[kLanes - 1]; ++j) step.template operator()<false>(j);
  for (; j < s.length[0]; ++j) step.template operator()<true>(j);

  // Every sum was exact if they all fit 32 bits (the multiply-adds' pairs are part of the same
  // sums).
  std::array<std::int16_t, 8> least{};
  std::array<std::int16_t, 8> most{};
  _mm_storeu_si128(reinterpret_cast<__m128i*>(least.data()), low);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(most.data()), high);
  const std::int64_t min_value = *std::min_element(least.begin(), least.end());
  const std::int64_t max_value = *std::max_element(most.begin(), most.end());
  if (!values_signed && min_value < 0) return false;
  return sums_fit_32_bits(filter, std::max(-min_value, max_value));
}

}  // namespace

bool decode_segments_small(std::span<const std::uint64_t> codes, const LpcFilter& filter,
                           std::int64_t level, SampleType type, std::uint16_t origin,
                           std::uint16_t spacing, std::byte* out) {
  const bool values_signed = type.kind == 'i';
  if (type.size == 1)
    return decode_segments<1>(codes, filter, level, values_signed, origin, spacing, out);
  if (type.size == 2)
    return decode_segments<2>(codes, filter, level, values_signed, origin, spacing, out);
  return false;
}

#else

bool decode_segments_small(std::span<const std::uint64_t>, const LpcFilter&, std::int64_t,
                           SampleType, std::uint16_t, std::uint16_t, std::byte*) {
  return false;
}

#endif

}  // namespace tessarine::predictive
