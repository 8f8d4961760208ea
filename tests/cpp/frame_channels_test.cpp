#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "frame/channel_predictor.hpp"
#include "frame/channel_samples.hpp"
#include "frame/channels_frame.hpp"
#include "frame/checksum.hpp"
#include "frame/frame_format.hpp"

namespace tessarine::frame {
namespace {

constexpr std::size_t kLength = 3000;

// Two leads and three derived as a recorder derives them: exact integer arithmetic.
std::vector<std::int16_t> leads() {
  std::vector<std::int16_t> rows(5 * kLength);
  std::int64_t one = 0, two = 0;
  for (std::size_t t = 0; t < kLength; ++t) {
    one += static_cast<std::int64_t>(t * 7919 % 9) - 4;
    two += static_cast<std::int64_t>(t * 104729 % 7) - 3;
    const std::int64_t values[5] = {one, two, two - one, -(one + two) >> 1, one - (two >> 1)};
    for (int c = 0; c < 5; ++c) rows[c * kLength + t] = static_cast<std::int16_t>(values[c]);
  }
  return rows;
}

ChannelsView view_of(const std::vector<std::int16_t>& rows, std::size_t channels) {
  return {reinterpret_cast<const std::byte*>(rows.data()), channels, rows.size() / channels,
          static_cast<std::ptrdiff_t>(2 * (rows.size() / channels)), 2, {'i', 2}};
}

std::vector<std::uint8_t> frame_of(const std::vector<std::int16_t>& rows, double max_error) {
  Bound bound;
  bound.max_error = max_error;
  const Bound bounds[1] = {bound};
  return *compress_channels(view_of(rows, 5), bounds, {}, true);
}

// The frame's CRC recomputed after a deliberate change, so the table check itself is tested.
void reseal(std::vector<std::uint8_t>& frame) {
  const std::uint32_t crc = crc32_of(std::span(frame).subspan(kCrcEnd));
  set_frame_crc(frame, crc);
}

TEST(FrameChannels, DerivedLeadsAreFoundAndEveryChannelDecodesAloneOrTogether) {
  const auto rows = leads();
  const auto frame = frame_of(rows, 0.0);
  const auto parsed = parse_frame(frame);
  ASSERT_TRUE(parsed) << parsed.error().display();
  for (std::size_t c = 2; c < 5; ++c) EXPECT_FALSE(parsed->channels.channels[c].predictor.alone()) << c;
  std::vector<std::int16_t> out(5 * kLength);
  const std::size_t all[] = {0, 1, 2, 3, 4};
  ASSERT_TRUE(decode_channels(*parsed, all, 1, std::as_writable_bytes(std::span(out))));
  EXPECT_EQ(out, rows);
  std::vector<std::int16_t> one(kLength);
  const std::size_t fourth[] = {4};
  ASSERT_TRUE(decode_channels(*parsed, fourth, 1, std::as_writable_bytes(std::span(one))));
  EXPECT_TRUE(std::equal(one.begin(), one.end(), rows.begin() + 4 * kLength));
}

TEST(FrameChannels, LossyChannelsKeepTheirBoundThroughPredictionAndClamping) {
  const auto rows = leads();
  const auto frame = frame_of(rows, 3.0);
  std::vector<std::int16_t> out(5 * kLength);
  const std::size_t all[] = {0, 1, 2, 3, 4};
  ASSERT_TRUE(decode_channels(*parse_frame(frame), all, 2, std::as_writable_bytes(std::span(out))));
  for (std::size_t i = 0; i < out.size(); ++i) ASSERT_LE(std::abs(out[i] - rows[i]), 3) << i;
}

TEST(FrameChannels, HostileTablesAreRefusedEvenWithAValidChecksum) {
  const auto frame = frame_of(leads(), 0.0);
  // The first predicted channel's entry: after the 12-byte table head and two 10-byte entries.
  const std::size_t entry = kFrameHeaderSize + 12 + 2 * 10;
  const std::size_t first_term = entry + 14;  // size, term count, shift, offset
  ASSERT_EQ(frame[kFrameHeaderSize + 12 + 8], 0);  // the two leads are coded alone
  ASSERT_EQ(frame[kFrameHeaderSize + 22 + 8], 0);
  ASSERT_GT(frame[entry + 8], 0);
  auto untouched = frame;
  reseal(untouched);
  ASSERT_TRUE(parse_frame(untouched));
  struct Change {
    std::size_t at;
    std::uint8_t value;
  } changes[] = {
      {first_term, 2},                  // a source that is the channel itself
      {first_term + 4, 100},            // a lag beyond 16
      {first_term + 8, 0x40},           // a coefficient beyond 2^24
      {entry + 9, 30},                  // a shift beyond 24
      {entry + 8, 9},                   // more than eight terms
      {kFrameHeaderSize, 6},            // channels that do not add up to the samples
      {entry, static_cast<std::uint8_t>(frame[entry] + 1)},  // frames that do not fill the body
  };
  for (const Change& change : changes) {
    auto damaged = frame;
    damaged[change.at] = change.value;
    reseal(damaged);
    EXPECT_FALSE(parse_frame(damaged)) << "byte " << change.at;
  }
}

// Channel 0 is a source of the derived leads, so it is decoded before them, apart from `out`.
TEST(FrameChannels, ADamagedBlockOfASourceChannelIsNamed) {
  const auto rows = leads();
  Bound bound;
  bound.max_error = 0.0;
  const Bound bounds[1] = {bound};
  auto frame = *compress_channels(view_of(rows, 5), bounds, {1000, 1}, true);
  const ChannelEntry first = parse_frame(frame)->channels.channels[0];
  const std::size_t body = parse_frame(frame)->body.data() - frame.data();
  const auto channel =
      parse_frame(std::span(frame).subspan(body + first.offset, first.size), Verify::Layout);
  ASSERT_TRUE(channel && channel->header.body == BodyKind::Blocked);
  const std::size_t block =
      body + first.offset + kFrameHeaderSize + channel->layout.blocks[1].offset;
  frame[block + 5] ^= 0x40;
  reseal(frame);
  std::vector<std::int16_t> out(5 * kLength);
  const std::size_t all[] = {0, 1, 2, 3, 4};
  const auto failed =
      decode_channels(*parse_frame(frame), all, 1, std::as_writable_bytes(std::span(out)));
  ASSERT_FALSE(failed);
  EXPECT_NE(failed.error().display().find("(block 1 of 3)"), std::string::npos)
      << failed.error().display();
}

// A hostile int64 residual cannot overflow the sum: it lands at the end of the range it passed.
TEST(FrameChannels, ResidualPlusPredictionSaturatesIntoTheType) {
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  std::vector<std::int64_t> values = {kMax, -kMax - 1, 5, 40000};
  const std::vector<std::int64_t> prediction = {1000, -1000, 3, 0};
  add_prediction(values, prediction, {'i', 2});
  EXPECT_EQ(values, (std::vector<std::int64_t>{32767, -32768, 8, 32767}));
}

TEST(FrameChannels, PredictionHoldsLaggedIndicesInsideTheSignal) {
  const std::vector<std::int64_t> source = {10, 20, 30, 40};
  const std::int64_t* rows[] = {source.data()};
  ChannelPredictor predictor{{{0, 2, 1 << 4}, {0, -1, 1 << 3}}, 4, 0};  // x[t-2] + x[t+1] / 2
  std::vector<std::int64_t> out(4);
  predict(predictor, rows, out);
  EXPECT_EQ(out, (std::vector<std::int64_t>{10 + 10, 10 + 15, 10 + 20, 20 + 20}));
}

// Against the definition, sample by sample: signals shorter and longer than the lags, up to
// eight terms over three sources, lags of both signs, negative values and offsets.
TEST(FrameChannels, PredictionMatchesItsDefinitionAtEveryLength) {
  std::uint64_t state = 7;
  const auto next = [&state](std::int64_t range) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<std::int64_t>((state >> 33) % static_cast<std::uint64_t>(range));
  };
  for (std::ptrdiff_t n = 1; n <= 40; ++n) {
    std::vector<std::vector<std::int64_t>> channels(3, std::vector<std::int64_t>(n));
    for (auto& channel : channels) {
      for (auto& v : channel) v = next(2001) - 1000;
    }
    const std::int64_t* rows[] = {channels[0].data(), channels[1].data(), channels[2].data()};
    ChannelPredictor predictor{
        {}, static_cast<std::uint8_t>(1 + next(6)), static_cast<std::int32_t>(next(201) - 100)};
    for (std::int64_t k = next(kMostTerms + 1); k > 0; --k) {
      predictor.terms.push_back({static_cast<std::uint32_t>(next(3)),
                                 static_cast<std::int8_t>(next(2 * kMostLag + 1) - kMostLag),
                                 static_cast<std::int32_t>(next(513) - 256)});
    }
    std::vector<std::int64_t> out(n);
    predict(predictor, rows, out);
    for (std::ptrdiff_t t = 0; t < n; ++t) {
      std::int64_t sum = predictor.offset;
      for (const PredictorTerm& term : predictor.terms) {
        sum += term.coefficient *
               rows[term.source][std::clamp<std::ptrdiff_t>(t - term.lag, 0, n - 1)];
      }
      ASSERT_EQ(out[t], sum >> predictor.shift) << "n=" << n << " t=" << t;
    }
  }
}

}  // namespace
}  // namespace tessarine::frame
