// Populating pages ahead of use is only a hint, but where it acts it must act on exactly the
// whole pages of the range and leave their contents alone. Scratch memory must hold what is
// asked for, whichever way it was obtained, and be given back exactly once.

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <thread>
#include <utility>
#include <vector>

#include "vibrel/zeroed_vector.hpp"
#include "memory/prefault.hpp"
#include "memory/scratch_pages.hpp"

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

// Writes a pattern over the whole array and reads it back.
void expect_usable(const ScratchPages& pages, std::size_t bytes) {
  auto* words = static_cast<std::uint64_t*>(pages.data());
  ASSERT_NE(words, nullptr);
  ASSERT_EQ(reinterpret_cast<std::uintptr_t>(words) % alignof(std::max_align_t), 0u);
  const std::size_t count = bytes / sizeof(std::uint64_t);
  for (std::size_t i = 0; i < count; ++i) words[i] = i * 0x9E3779B97F4A7C15ull;
  for (std::size_t i = 0; i < count; ++i) {
    ASSERT_EQ(words[i], i * 0x9E3779B97F4A7C15ull) << "word " << i;
  }
}

TEST(ScratchPages, SmallAndLargeArraysHoldEveryByteAskedFor) {
  for (std::size_t bytes : {std::size_t{64}, kPrefaultMinBytes, kScratchMappingMinBytes - 8,
                            kScratchMappingMinBytes, std::size_t{5} << 20 | 8}) {
    const ScratchPages pages(bytes);
    expect_usable(pages, bytes);
    EXPECT_EQ(pages.mapped(), bytes >= kScratchMappingMinBytes) << bytes << " bytes";
  }
}

TEST(ScratchPages, MovesHandOverTheMemoryOnce) {
  ScratchPages large(kScratchMappingMinBytes);
  void* const large_data = large.data();
  ScratchPages moved(std::move(large));
  EXPECT_EQ(moved.data(), large_data);
  EXPECT_EQ(large.data(), nullptr);  // NOLINT(bugprone-use-after-move): checks the moved-from
  EXPECT_FALSE(large.mapped());

  ScratchPages small(128);
  small = std::move(moved);  // frees the small array, takes the mapping
  EXPECT_EQ(small.data(), large_data);
  EXPECT_TRUE(small.mapped());
  expect_usable(small, kScratchMappingMinBytes);
  small = ScratchPages(256);  // unmaps
  EXPECT_FALSE(small.mapped());
  expect_usable(small, 256);
}

TEST(ScratchPages, AThreadReusesTheMappingsItGaveBackUpToItsLimit) {
  // A thread of its own starts with an empty cache, whatever ran before.
  std::thread([] {
    constexpr std::size_t kBytes = kScratchMappingMinBytes;
    ASSERT_EQ(kept_scratch_bytes(), 0u);
    void* first = nullptr;
    void* second = nullptr;
    {
      const ScratchPages a(kBytes);
      const ScratchPages b(kBytes);
      first = a.data();
      second = b.data();
    }
    const std::size_t two_kept = kept_scratch_bytes();
    EXPECT_GE(two_kept, 2 * kBytes);
    {
      // Both mappings serve the next two requests, with usable pages; a third request at the
      // same time gets a mapping of its own, which is not kept: the cache holds two.
      const ScratchPages c(kBytes);
      const ScratchPages d(kBytes);
      EXPECT_TRUE((c.data() == first && d.data() == second) ||
                  (c.data() == second && d.data() == first));
      EXPECT_EQ(kept_scratch_bytes(), 0u);
      expect_usable(c, kBytes);
      expect_usable(d, kBytes);
      const ScratchPages e(kBytes);
      expect_usable(e, kBytes);
    }
    EXPECT_EQ(kept_scratch_bytes(), two_kept);
    {
      // Too large to keep beside the two.
      const ScratchPages huge(kMaxCachedScratchBytes - kBytes);
    }
    EXPECT_EQ(kept_scratch_bytes(), two_kept);
    // Another thread has a cache of its own.
    std::thread([] { EXPECT_EQ(kept_scratch_bytes(), 0u); }).join();
  }).join();
}

TEST(ScratchPages, ImpossibleSizesThrowBadAlloc) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer reports a failed operator new instead of throwing";
#endif
  // Larger than any address space: the mapping fails first, then the heap.
  EXPECT_THROW(ScratchPages(SIZE_MAX / 2), std::bad_alloc);
}

}  // namespace
}  // namespace tessarine
