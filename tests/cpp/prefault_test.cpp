// Populating pages ahead of use is only a hint, but where it acts it must act on exactly the
// whole pages of the range and leave their contents alone.

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "vibrel/alloc.hpp"
#include "memory/prefault.hpp"

namespace tessarine {
namespace {

class FreshMapping {
 public:
  explicit FreshMapping(std::size_t pages)
      : size_(pages * static_cast<std::size_t>(sysconf(_SC_PAGESIZE))),
        data_(mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)) {}
  ~FreshMapping() {
    if (data_ != MAP_FAILED) munmap(data_, size_);
  }
  FreshMapping(const FreshMapping&) = delete;
  FreshMapping& operator=(const FreshMapping&) = delete;

  [[nodiscard]] bool ok() const { return data_ != MAP_FAILED; }
  [[nodiscard]] std::uint8_t* bytes() const { return static_cast<std::uint8_t*>(data_); }

  // One flag per page: resident or not.
  [[nodiscard]] std::vector<bool> resident() const {
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    std::vector<unsigned char> flags(size_ / page);
    if (mincore(data_, size_, flags.data()) != 0) return {};
    std::vector<bool> out;
    for (unsigned char f : flags) out.push_back((f & 1) != 0);
    return out;
  }

 private:
  std::size_t size_;
  void* data_;
};

TEST(Prefault, PopulatesOnlyTheWholePagesInsideTheRange) {
  const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  FreshMapping mapping(8);
  ASSERT_TRUE(mapping.ok());
  // From the middle of page 1 to the middle of page 6: pages 2 to 5 are whole.
  if (!prefault_for_writing(mapping.bytes() + page + page / 2, 5 * page)) {
    GTEST_SKIP() << "this kernel cannot populate pages ahead of use";
  }
  const std::vector<bool> expected{false, false, true, true, true, true, false, false};
  EXPECT_EQ(mapping.resident(), expected);
}

TEST(Prefault, KeepsContentsAndRefusesRangesWithoutAWholePage) {
  const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  FreshMapping mapping(4);
  ASSERT_TRUE(mapping.ok());
  for (std::size_t i = 0; i < 4 * page; ++i) mapping.bytes()[i] = static_cast<std::uint8_t>(i * 7);
  prefault_for_writing(mapping.bytes(), 4 * page);
  for (std::size_t i = 0; i < 4 * page; ++i) {
    ASSERT_EQ(mapping.bytes()[i], static_cast<std::uint8_t>(i * 7)) << "byte " << i;
  }
  EXPECT_FALSE(prefault_for_writing(mapping.bytes() + 1, page));
  EXPECT_FALSE(prefault_for_writing(mapping.bytes(), page - 1));
  EXPECT_FALSE(prefault_for_writing(nullptr, 4 * page));
  EXPECT_FALSE(prefault_for_writing(mapping.bytes(), SIZE_MAX));
}

TEST(Prefault, LargeZeroedVectorsAreZeroAndOfTheRequestedSize) {
  for (std::size_t count : {kPrefaultMinBytes / sizeof(float) - 1, std::size_t{3} << 20}) {
    auto v = vibrel::zeroed_vector<float>(count);
    ASSERT_TRUE(v.has_value());
    ASSERT_EQ(v->size(), count);
    for (float f : *v) ASSERT_EQ(f, 0.0f);
  }
}

}  // namespace
}  // namespace tessarine
