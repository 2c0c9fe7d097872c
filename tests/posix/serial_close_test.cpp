// A close of the serial port that fails.  posix_tests is linked with
// --wrap=close, so every close() of the platform layer passes through
// __wrap_close below, which fails the next close on request in either of
// the ways a system may: giving the descriptor up anyway (what Linux does)
// or keeping it open.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/platform.h"
#include "temp_config.h"

namespace {
enum class CloseFault { kNone, kFailAfterRelease, kFailAndKeep };
CloseFault g_next_close = CloseFault::kNone;
}  // namespace

extern "C" int __real_close(int fd);
extern "C" int __wrap_close(int fd) {
  const CloseFault fault = g_next_close;
  g_next_close = CloseFault::kNone;
  if (fault == CloseFault::kNone) return __real_close(fd);
  if (fault == CloseFault::kFailAfterRelease) __real_close(fd);
  errno = EIO;
  return -1;
}

namespace {

class FailingClose : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(openpty(&master_, &slave_, nullptr, nullptr, nullptr), 0);
    char name[128] = {};
    ASSERT_EQ(ptsname_r(master_, name, sizeof name), 0);
    config_.LinkPort("COM3", name);
    port_ = plat::SerialOpen("COM3");
    ASSERT_NE(port_, plat::kInvalidHandle);
  }
  void TearDown() override {
    g_next_close = CloseFault::kNone;
    plat::SerialClose(port_);
    close(slave_);
    close(master_);
  }
  static bool Works(plat::Handle port) { return plat::SerialPurge(port, plat::kPurgeRxClear); }

  testsupport::TempConfigDir config_;
  int master_ = -1, slave_ = -1;
  plat::Handle port_ = plat::kInvalidHandle;
};

TEST_F(FailingClose, ADescriptorTheSystemLetGoIsClosedByTheNextClose) {
  g_next_close = CloseFault::kFailAfterRelease;
  EXPECT_FALSE(plat::SerialClose(port_));
  EXPECT_FALSE(Works(port_)) << "nothing is open behind the handle";
  EXPECT_TRUE(plat::SerialClose(port_)) << "the handle was kept, not forgotten";
  EXPECT_FALSE(plat::SerialClose(port_)) << "and is closed now";
  const plat::Handle again = plat::SerialOpen("COM3");
  EXPECT_NE(again, plat::kInvalidHandle);
  plat::SerialClose(again);
}

TEST_F(FailingClose, ADescriptorThatSurvivedStaysHeldUntilItReallyCloses) {
  g_next_close = CloseFault::kFailAndKeep;
  EXPECT_FALSE(plat::SerialClose(port_));
  EXPECT_TRUE(Works(port_)) << "the port is still open";
  EXPECT_EQ(plat::SerialOpen("COM3"), plat::kInvalidHandle) << "and still exclusive";
  EXPECT_TRUE(plat::SerialClose(port_));
  EXPECT_FALSE(Works(port_));
  const plat::Handle again = plat::SerialOpen("COM3");
  EXPECT_NE(again, plat::kInvalidHandle);
  plat::SerialClose(again);
}

}  // namespace
