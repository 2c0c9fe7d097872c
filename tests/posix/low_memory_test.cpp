// Low memory for the records whose addresses travel in 32 bits, with the
// module's mmap calls passed through __wrap_mmap below: the kernel's own
// low placement, and the hinted search when that placement is refused or
// lands too high.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <algorithm>
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
  if (g_placement == Placement::kKernel || !(flags & MAP_ANONYMOUS)) {
    return __real_mmap(addr, length, prot, flags, fd, offset);
  }
  const bool low_flag = (flags & MAP_32BIT) != 0;
  if (!low_flag) g_hints.push_back(reinterpret_cast<std::uintptr_t>(addr));
  if (low_flag && g_placement != Placement::kLowFlagGoesHigh) return MAP_FAILED;
  flags &= ~MAP_32BIT;
  std::uintptr_t at = reinterpret_cast<std::uintptr_t>(addr);
  if (g_placement == Placement::kLowFlagGoesHigh && low_flag) at = kHigh;
  if (g_placement == Placement::kHintsGoHigh) at = kHigh;
  if (g_placement == Placement::kLastLowPage || g_placement == Placement::kAcrossFourGiB) {
    at = kFourGiB - (g_placement == Placement::kLastLowPage ? length : length / 2);
    flags |= MAP_FIXED_NOREPLACE;
  }
  return __real_mmap(reinterpret_cast<void*>(at), length, prot, flags, fd, offset);
}

namespace {

class LowMemory : public ::testing::TestWithParam<Placement> {
 protected:
  void SetUp() override { g_hints.clear(); }
  void TearDown() override { g_placement = Placement::kKernel; }
};

// Wherever the block comes from, all of it lies below 4 GiB, and the search
// of hints (from 0xF0000000 down to 0x10000000) stops at the one that gives
// it.  Where nothing low can be had (every place above 4 GiB, or
// running across it), every hint is tried and nothing is returned.
TEST_P(LowMemory, ComesFromBelowFourGiBOrNotAtAll) {
  constexpr std::uint32_t kSize = 8192;
  const Placement placement = GetParam();
  if (placement == Placement::kLastLowPage) {
    // Under the address sanitizer those pages are part of its shadow.
    void* probe = __real_mmap(reinterpret_cast<void*>(kFourGiB - kSize), kSize, PROT_READ,
                              MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
    if (probe == MAP_FAILED) GTEST_SKIP() << "the last pages below 4 GiB are taken";
    munmap(probe, kSize);
  }
  g_placement = placement;
  void* block = plat::AllocateLowMemory(kSize);
  g_placement = Placement::kKernel;
  std::vector<std::uintptr_t> hints;
  for (std::uintptr_t hint = 0xF0000000u; hint >= 0x10000000u; hint -= 0x10000000u) {
    hints.push_back(hint);
  }
  if (placement == Placement::kHintsGoHigh || placement == Placement::kAcrossFourGiB) {
    EXPECT_EQ(block, nullptr);
  } else {
    ASSERT_NE(block, nullptr);
    const auto at = reinterpret_cast<std::uintptr_t>(block);
    EXPECT_LE(at + kSize, kFourGiB);
    if (placement == Placement::kLastLowPage) {
      EXPECT_EQ(at, kFourGiB - kSize);
    }
    // The hints tried, in order, up to the one that gave the block (under
    // the address sanitizer the highest lie in its shadow and fail).
    if (placement != Placement::kKernel) {
      ASSERT_FALSE(g_hints.empty());
    }
    hints.resize(std::min(hints.size(), g_hints.size()));
    munmap(block, kSize);
  }
  EXPECT_EQ(g_hints, hints);
}

INSTANTIATE_TEST_SUITE_P(Placements, LowMemory,
                         ::testing::Values(Placement::kKernel, Placement::kNoLowFlag,
                                           Placement::kLowFlagGoesHigh, Placement::kLastLowPage,
                                           Placement::kHintsGoHigh, Placement::kAcrossFourGiB));

}  // namespace
