// The module's string table on Linux, read as LoadStringA reads a resource
// section's: cut to the buffer, nothing at all written into a buffer of no
// bytes, and an empty text for a string that is not there.
#include <gtest/gtest.h>

#include "platform/platform.h"

namespace {

TEST(PosixModule, StringsAreCutToTheBufferAndABufferOfNoBytesIsLeftAlone) {
  plat::UseModuleResources({[](std::uint32_t id) { return id == 7 ? "Seven" : nullptr; }, nullptr});
  char buffer[8] = "xxxxxxx";
  EXPECT_EQ(plat::LoadStringResource(0, 7, buffer, 0), 0);
  EXPECT_STREQ(buffer, "xxxxxxx");
  EXPECT_EQ(plat::LoadStringResource(0, 7, buffer, 4), 3);
  EXPECT_STREQ(buffer, "Sev");
  EXPECT_EQ(plat::LoadStringResource(0, 8, buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "");
  plat::UseModuleResources({});
}

}  // namespace
