// Low memory for the records whose addresses travel in 32 bits, with the
// module's mmap calls passed through __wrap_mmap below: the kernel's own
// low placement, and the hinted search when that placement is refused or
// lands too high.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstdint>
#include <vector>

#include "platform/platform.h"

namespace {

enum class Placement {
  kKernel,
  kNoLowFlag,
  kLowFlagGoesHigh,
  kHintsGoHigh,
  kLastLowPage,
  kAcrossFourGiB
};
Placement g_placement = Placement::kKernel;
std::vector<std::uintptr_t> g_hints;

constexpr std::uintptr_t kFourGiB = std::uintptr_t{1} << 32;
constexpr std::uintptr_t kHigh = std::uintptr_t{0x7e0000000000};

}  // namespace

extern "C" void* __real_mmap(void* addr, size_t length, int prot, int flags, int fd, off_t offset);
extern "C" void* __wrap_mmap(void* addr, size_t length, int prot, int flags, int fd, off_t offset) {
  const bool low_flag = (flags & MAP_32BIT) != 0;
  if (g_placement == Placement::kKernel || !(flags & MAP_ANONYMOUS)) {
    return __real_mmap(addr, length, prot, flags, fd, offset);
  }
  if (!low_flag) g_hints.push_back(reinterpret_cast<std::uintptr_t>(addr));
  const int plain = flags & ~MAP_32BIT;
  switch (g_placement) {
    case Placement::kNoLowFlag:
      return low_flag ? MAP_FAILED : __real_mmap(addr, length, prot, plain, fd, offset);
    case Placement::kLowFlagGoesHigh:
      return __real_mmap(low_flag ? reinterpret_cast<void*>(kHigh) : addr, length, prot, plain, fd,
                         offset);
    case Placement::kHintsGoHigh:
      return low_flag
                 ? MAP_FAILED
                 : __real_mmap(reinterpret_cast<void*>(kHigh), length, prot, plain, fd, offset);
    case Placement::kLastLowPage:
    case Placement::kAcrossFourGiB: {
      if (low_flag) return MAP_FAILED;
      const std::uintptr_t below = g_placement == Placement::kLastLowPage ? length : length / 2;
      return __real_mmap(reinterpret_cast<void*>(kFourGiB - below), length, prot,
                         plain | MAP_FIXED_NOREPLACE, fd, offset);
    }
    case Placement::kKernel:
      break;
  }
  return MAP_FAILED;
}

namespace {

class LowMemory : public ::testing::TestWithParam<Placement> {
 protected:
  void SetUp() override { g_hints.clear(); }
  void TearDown() override { g_placement = Placement::kKernel; }
};

// Wherever the block comes from, all of it lies below 4 GiB.
TEST_P(LowMemory, TheBlockLiesBelowFourGiB) {
  constexpr std::uint32_t kSize = 4096;
  if (GetParam() == Placement::kLastLowPage) {
    // Under the address sanitizer that page is part of its shadow.
    void* probe = __real_mmap(reinterpret_cast<void*>(kFourGiB - kSize), kSize, PROT_READ,
                              MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
    if (probe == MAP_FAILED) GTEST_SKIP() << "the last page below 4 GiB is taken";
    munmap(probe, kSize);
  }
  g_placement = GetParam();
  void* block = plat::AllocateLowMemory(kSize);
  g_placement = Placement::kKernel;
  ASSERT_NE(block, nullptr);
  EXPECT_LE(reinterpret_cast<std::uintptr_t>(block) + kSize, kFourGiB);
  if (GetParam() == Placement::kLastLowPage) {
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block), kFourGiB - kSize);
  }
  if (GetParam() != Placement::kKernel) {
    ASSERT_FALSE(g_hints.empty());
    EXPECT_EQ(g_hints.front(), 0xF0000000u);
  }
  munmap(block, kSize);
}

INSTANTIATE_TEST_SUITE_P(Placements, LowMemory,
                         ::testing::Values(Placement::kKernel, Placement::kNoLowFlag,
                                           Placement::kLowFlagGoesHigh, Placement::kLastLowPage));

// Where nothing low can be had (every place is above 4 GiB, or runs across
// it), every hint from 0xF0000000 down to 0x10000000 is tried and nothing is
// returned.
class NoLowMemory : public LowMemory {};

TEST_P(NoLowMemory, GivesNothingAfterEveryHint) {
  g_placement = GetParam();
  void* block = plat::AllocateLowMemory(8192);
  g_placement = Placement::kKernel;
  EXPECT_EQ(block, nullptr);
  std::vector<std::uintptr_t> expected;
  for (std::uintptr_t hint = 0xF0000000u; hint >= 0x10000000u; hint -= 0x10000000u) {
    expected.push_back(hint);
  }
  EXPECT_EQ(g_hints, expected);
}

INSTANTIATE_TEST_SUITE_P(Placements, NoLowMemory,
                         ::testing::Values(Placement::kHintsGoHigh, Placement::kAcrossFourGiB));

}  // namespace
