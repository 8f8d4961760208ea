// Stored containers must keep decoding as they did when they were made (on the scalar tier),
// and stored malformed containers must keep giving their exact message.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "codec/decompressor.hpp"
#include "codec/payload_coders.hpp"

namespace tessarine {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes read_file(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(f)), {});
}

std::vector<fs::path> files_with(const std::string& folder, const std::string& extension) {
  std::vector<fs::path> out;
  for (const auto& entry : fs::directory_iterator(fs::path(TESSARINE_TEST_DATA_DIR) / folder)) {
    if (entry.path().extension() == extension) out.push_back(entry.path());
  }
  std::sort(out.begin(), out.end());
  return out;
}

bool scalar_tier() {
  const char* cap = std::getenv("TESSARINE_CPU");
  return cap != nullptr && std::string(cap) == "scalar";
}

// Each container decodes to its .f32 file: exactly on the scalar tier, which wrote them; other
// tiers round their transforms differently in the last bits.
void expect_decode_as_stored(const std::vector<fs::path>& containers) {
  for (const fs::path& path : containers) {
    const Bytes stored = read_file(fs::path(path).replace_extension(".f32"));
    std::vector<float> want(stored.size() / sizeof(float));
    std::memcpy(want.data(), stored.data(), stored.size());
    const auto got = decompress(read_file(path));
    ASSERT_TRUE(got) << path << ": " << got.error().display();
    ASSERT_EQ(got->size(), want.size()) << path;
    float largest = 0.0f;
    for (const float v : want) largest = std::max(largest, std::abs(v));
    const float tolerance =
        scalar_tier() ? 0.0f : 256.0f * std::numeric_limits<float>::epsilon() * largest;
    for (std::size_t i = 0; i < want.size(); ++i) {
      ASSERT_NEAR((*got)[i], want[i], tolerance) << path << " sample " << i;
    }
  }
}

TEST(Golden, ContainersDecodeAsStored) {
  const auto containers = files_with("golden", ".tsrn");
  // Every method with every coder, for {ecg, short, flat}.
  ASSERT_EQ(containers.size(), 4 * kPayloadCoders.size() * 3);
  expect_decode_as_stored(containers);
}

// Layouts at the edges: one no encoder writes (more levels than the samples allow), and the
// encoder's own deepest short-signal layouts and payloads of odd length.
TEST(Golden, HandMadeLayoutsDecodeAsStored) {
  const auto containers = files_with("golden_edges", ".tsrn");
  ASSERT_GE(containers.size(), 7u);
  expect_decode_as_stored(containers);
}

TEST(Golden, MalformedContainersGiveTheirMessage) {
  const auto containers = files_with("golden_errors", ".tsrn");
  ASSERT_GE(containers.size(), 20u);
  for (const fs::path& path : containers) {
    const Bytes text = read_file(fs::path(path).replace_extension(".txt"));
    const std::string want(text.begin(), text.end() - 1);  // without the final newline
    const auto got = decompress(read_file(path));
    ASSERT_FALSE(got) << path;
    EXPECT_EQ(got.error().display(), want) << path;
  }
}

}  // namespace
}  // namespace tessarine
