// The module's string table on Linux, read as LoadStringA reads a resource
// section's: cut to the buffer, nothing at all written into a buffer of no
// bytes, and an empty text for a string that is not there.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/platform.h"

namespace {

const char* Strings(std::uint32_t id) { return id == 7 ? "Seven" : nullptr; }

TEST(PosixModule, StringsAreCutToTheBufferAndABufferOfNoBytesIsLeftAlone) {
  plat::UseModuleResources({Strings, nullptr});
  char buffer[8];
  EXPECT_EQ(plat::LoadStringResource(0, 7, buffer, sizeof buffer), 5);
  EXPECT_STREQ(buffer, "Seven");
  EXPECT_EQ(plat::LoadStringResource(0, 7, buffer, 4), 3);
  EXPECT_STREQ(buffer, "Sev");
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(plat::LoadStringResource(0, 7, buffer, 0), 0);
  EXPECT_EQ(buffer[0], 'x');
  EXPECT_EQ(plat::LoadStringResource(0, 8, buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "");
  plat::UseModuleResources({});
}

}  // namespace
