// A port's device swapped for another file between the check of what it is
// and its open.  posix_tests is linked with --wrap=open: on request,
// __wrap_open below opens another file in place of the one asked for.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <cstdarg>
#include <string>

#include "platform/platform.h"
#include "temp_config.h"

namespace {
const char* g_open_instead = nullptr;
}  // namespace

extern "C" int __real_open(const char* path, int flags, ...);
extern "C" int __wrap_open(const char* path, int flags, ...) {
  mode_t mode = 0;
  if ((flags & O_CREAT) != 0) {
    va_list args;
    va_start(args, flags);
    mode = static_cast<mode_t>(va_arg(args, int));
    va_end(args);
  }
  return __real_open(g_open_instead != nullptr ? g_open_instead : path, flags, mode);
}

namespace {

TEST(PosixSerialSwap, ADeviceSwappedBeforeTheOpenIsRefused) {
  int master = -1, slave = -1, other_master = -1, other_slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  ASSERT_EQ(openpty(&other_master, &other_slave, nullptr, nullptr, nullptr), 0);
  char name[128] = {}, other[128] = {};
  ASSERT_EQ(ptsname_r(master, name, sizeof name), 0);
  ASSERT_EQ(ptsname_r(other_master, other, sizeof other), 0);
  testsupport::TempConfigDir config;
  config.LinkPort("COM5", name);
  config.WriteProfile("");
  // Another terminal, and a file that is no device at all.
  for (const std::string& instead : {std::string(other), config.Profile().string()}) {
    g_open_instead = instead.c_str();
    const plat::Handle port = plat::SerialOpen("COM5");
    g_open_instead = nullptr;
    EXPECT_EQ(port, plat::kInvalidHandle) << instead;
    plat::SerialClose(port);
  }
  const plat::Handle port = plat::SerialOpen("COM5");
  EXPECT_NE(port, plat::kInvalidHandle) << "the device itself still opens";
  plat::SerialClose(port);
  for (int fd : {slave, master, other_slave, other_master}) close(fd);
}

}  // namespace
