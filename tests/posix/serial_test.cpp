// The Linux serial port against a real pseudo-terminal: the test holds the
// master end and plays the device; the port under test is the slave end,
// reached through a ports/ link in a configuration folder of the test's own.

#include <dlfcn.h>
#include <fcntl.h>
#include <ftw.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "test_blocks.h"

namespace {

using testsupport::ScopedEnv;

using Clock = std::chrono::steady_clock;

// Another reader of the device, slipped in between poll() and read(): while
// g_other_reader holds a descriptor of the device, the first poll() that
// reports input has that reader take everything waiting before it returns.
std::atomic<int> g_other_reader{-1};
std::atomic<int> g_taken{0};
// While set, poll() fails as the kernel does when it runs out of memory.
std::atomic<bool> g_poll_fails{false};

}  // namespace

extern "C" int poll(pollfd* fds, nfds_t count, int timeout) {
  using PollFn = int (*)(pollfd*, nfds_t, int);
  static const PollFn real_poll = reinterpret_cast<PollFn>(dlsym(RTLD_NEXT, "poll"));
  if (g_poll_fails) {
    errno = ENOMEM;
    return -1;
  }
  const int ready = real_poll(fds, count, timeout);
  if (ready > 0 && count > 0 && (fds[0].revents & POLLIN) != 0) {
    const int other = g_other_reader.exchange(-1);
    if (other >= 0) {
      char bytes[64];
      const ssize_t n = read(other, bytes, sizeof bytes);
      g_taken = n > 0 ? static_cast<int>(n) : 0;
    }
  }
  return ready;
}

namespace {
// A device whose writes fail (an adapter gone bad): while it names the
// device, write() on it fails with EIO.
std::atomic<dev_t> g_failing_device{0};
// While not 0, raising or lowering a modem line fails with this error.
std::atomic<int> g_modem_line_error{0};
}  // namespace

extern "C" ssize_t write(int fd, const void* bytes, size_t count) {
  using WriteFn = ssize_t (*)(int, const void*, size_t);
  static const WriteFn real_write = reinterpret_cast<WriteFn>(dlsym(RTLD_NEXT, "write"));
  const dev_t failing = g_failing_device.load();
  struct stat st = {};
  if (failing != 0 && fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == failing) {
    errno = EIO;
    return -1;
  }
  return real_write(fd, bytes, count);
}

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept {
  using IoctlFn = int (*)(int, unsigned long, ...);
  static const IoctlFn real_ioctl = reinterpret_cast<IoctlFn>(dlsym(RTLD_NEXT, "ioctl"));
  va_list args;
  va_start(args, request);
  void* argument = va_arg(args, void*);
  va_end(args);
  const int error = g_modem_line_error.load();
  if (error != 0 && (request == TIOCMBIS || request == TIOCMBIC)) {
    errno = error;
    return -1;
  }
  return real_ioctl(fd, request, argument);
}

// posix_tests is linked with --wrap=open: while set, an open opens this file
// in place of the one asked for (a device swapped after it was checked).
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

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string MakeTempFolder() {
  const char* base = getenv("TMPDIR");
  std::string pattern =
      std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") + "/controller-serial-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) return {};
  return pattern;
}

class PosixSerial : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = MakeTempFolder();
    ASSERT_FALSE(folder_.empty());
    ASSERT_EQ(mkdir((folder_ + "/ports").c_str(), 0755), 0);
    env_.emplace("VELASTRA_CONFIG_DIR", folder_.c_str());
    ASSERT_EQ(openpty(&master_, &slave_, nullptr, nullptr, nullptr), 0);
    char name[128] = {};
    ASSERT_EQ(ptsname_r(master_, name, sizeof name), 0);
    device_ = name;
    // The master's own line discipline must not touch what the port sends.
    termios tio{};
    ASSERT_EQ(tcgetattr(master_, &tio), 0);
    cfmakeraw(&tio);
    ASSERT_EQ(tcsetattr(master_, TCSANOW, &tio), 0);
    Link("COM7", device_);
  }

  void TearDown() override {
    if (port_ != plat::kInvalidHandle) plat::SerialClose(port_);
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
    env_.reset();
    if (!folder_.empty()) testsupport::RemoveTree(folder_);
  }

  void Link(const std::string& port, const std::string& target) {
    ASSERT_EQ(symlink(target.c_str(), (folder_ + "/ports/" + port).c_str()), 0);
  }

  // Opens COM7 with the plug-in's line settings and the given time-outs.
  void OpenConfigured(plat::Timeouts timeouts) {
    port_ = plat::SerialOpen("COM7");
    ASSERT_NE(port_, plat::kInvalidHandle);
    plat::LineSettings line;
    ASSERT_TRUE(plat::SerialBuildLineSettings("baud=9600 parity=N data=8 stop=1", line));
    line.out_x = true;
    line.in_x = true;
    line.dtr_enable = true;
    line.rts_enable = true;
    ASSERT_TRUE(plat::SerialSetLineSettings(port_, line));
    ASSERT_TRUE(plat::SerialSetTimeouts(port_, timeouts));
  }

  void DeviceSends(const std::string& bytes) {
    ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

  // Waits until what the device sent has reached the port's input queue.
  void WaitForInput(std::size_t count) {
    const auto start = Clock::now();
    int queued = 0;
    while (MillisecondsSince(start) < 2000) {
      ASSERT_EQ(ioctl(slave_, FIONREAD, &queued), 0);
      if (queued >= static_cast<int>(count)) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    FAIL() << "only " << queued << " of " << count << " bytes arrived";
  }

  // Starts a child process that plays the device: each step waits, then sends.
  struct Step {
    int delay_ms;
    std::string bytes;
  };
  pid_t DeviceScript(std::initializer_list<Step> steps) {
    const pid_t child = fork();
    if (child == 0) {
      for (const Step& step : steps) {
        std::this_thread::sleep_for(std::chrono::milliseconds(step.delay_ms));
        if (write(master_, step.bytes.data(), step.bytes.size()) < 0) _exit(1);
      }
      // Keep the master open in this process until the parent has read.
      std::this_thread::sleep_for(std::chrono::milliseconds(3000));
      _exit(0);
    }
    return child;
  }

  static void Finish(pid_t child) {
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
  }

  std::string folder_;
  std::optional<ScopedEnv> env_;
  std::string device_;
  int master_ = -1;
  int slave_ = -1;
  plat::Handle port_ = plat::kInvalidHandle;
};

const plat::Timeouts kPlugInTimeouts{20, 10, 100, 10, 100};

// ---- Opening -------------------------------------------------------------------

TEST_F(PosixSerial, OpensThroughThePortsLink) {
  port_ = plat::SerialOpen("COM7");
  ASSERT_NE(port_, plat::kInvalidHandle);
  EXPECT_NE(port_, plat::Handle{0});
  EXPECT_TRUE(plat::SerialClose(port_));
  port_ = plat::kInvalidHandle;
}

TEST_F(PosixSerial, PortNamesIgnoreCase) {
  port_ = plat::SerialOpen("com7");
  EXPECT_NE(port_, plat::kInvalidHandle);
}

TEST_F(PosixSerial, SecondOpenFailsInThisProcess) {
  port_ = plat::SerialOpen("COM7");
  ASSERT_NE(port_, plat::kInvalidHandle);
  EXPECT_EQ(plat::SerialOpen("COM7"), plat::kInvalidHandle);
  // Another name for the same device is refused too.
  Link("COM8", device_);
  EXPECT_EQ(plat::SerialOpen("COM8"), plat::kInvalidHandle);
}

TEST_F(PosixSerial, SecondOpenFailsInAnotherProcess) {
  port_ = plat::SerialOpen("COM7");
  ASSERT_NE(port_, plat::kInvalidHandle);
  const pid_t child = fork();
  if (child == 0) _exit(plat::SerialOpen("COM7") == plat::kInvalidHandle ? 0 : 1);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "a second process opened the port";
}

// A device the user may not open is refused at once: only an interrupted
// open is tried again.
TEST_F(PosixSerial, ADeviceThatRefusesTheOpenFailsAtOnce) {
  if (geteuid() != 0) GTEST_SKIP() << "becomes another user, which needs root";
  ASSERT_EQ(chmod(folder_.c_str(), 0755), 0);
  ASSERT_EQ(chmod(device_.c_str(), 0600), 0);
  const pid_t child = fork();
  if (child == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
    alarm(5);  // ends an open tried again and again
    _exit(plat::SerialOpen("COM7") == plat::kInvalidHandle ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "the open was still being tried after 5 s";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

// A device swapped for another terminal, or for a file that is no device,
// between the check of what it is and its open is refused.
TEST_F(PosixSerial, ADeviceSwappedBeforeTheOpenIsRefused) {
  int other_master = -1, other_slave = -1;
  ASSERT_EQ(openpty(&other_master, &other_slave, nullptr, nullptr, nullptr), 0);
  char other[128] = {};
  ASSERT_EQ(ptsname_r(other_master, other, sizeof other), 0);
  const std::string file = folder_ + "/plain";
  close(open(file.c_str(), O_CREAT | O_WRONLY, 0600));
  for (const std::string& instead : {std::string(other), file}) {
    g_open_instead = instead.c_str();
    const plat::Handle port = plat::SerialOpen("COM7");
    g_open_instead = nullptr;
    EXPECT_EQ(port, plat::kInvalidHandle) << instead;
    plat::SerialClose(port);
  }
  close(other_slave);
  close(other_master);
}

TEST_F(PosixSerial, ClosingGivesThePortBack) {
  port_ = plat::SerialOpen("COM7");
  ASSERT_NE(port_, plat::kInvalidHandle);
#ifdef TIOCGEXCL
  int exclusive = 0;
  ASSERT_EQ(ioctl(slave_, TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 1);
#endif
  ASSERT_TRUE(plat::SerialClose(port_));
#ifdef TIOCGEXCL
  ASSERT_EQ(ioctl(slave_, TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0) << "the device stays exclusive after closing";
#endif
  // Another process can have it now.
  const pid_t child = fork();
  if (child == 0) {
    const plat::Handle h = plat::SerialOpen("COM7");
    _exit(h != plat::kInvalidHandle && plat::SerialClose(h) ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  port_ = plat::SerialOpen("COM7");
  EXPECT_NE(port_, plat::kInvalidHandle);
}

// Eight ports can be open at once: a ninth open fails cleanly, and a close
// gives its place to the next open.
TEST_F(PosixSerial, EightPortsAtOnceAndNoMore) {
  std::vector<int> ends(16);
  std::vector<plat::Handle> open;
  for (int i = 0; i < 8; ++i) {
    ASSERT_EQ(openpty(&ends[2 * i], &ends[2 * i + 1], nullptr, nullptr, nullptr), 0);
    Link("COM" + std::to_string(10 + i), ptsname(ends[2 * i]));
    open.push_back(plat::SerialOpen(("COM" + std::to_string(10 + i)).c_str()));
    EXPECT_NE(open.back(), plat::kInvalidHandle) << i;
  }
  EXPECT_EQ(plat::SerialOpen("COM7"), plat::kInvalidHandle);
  ASSERT_TRUE(plat::SerialClose(open[3]));
  port_ = plat::SerialOpen("COM7");
  EXPECT_NE(port_, plat::kInvalidHandle);
  for (plat::Handle h : open) plat::SerialClose(h);  // the one closed already is refused
  for (int fd : ends) close(fd);
}

TEST_F(PosixSerial, MissingAndUnsuitablePortsFail) {
  EXPECT_EQ(plat::SerialOpen("NOPE"), plat::kInvalidHandle);    // no link, not COMn
  EXPECT_EQ(plat::SerialOpen("COM255"), plat::kInvalidHandle);  // /dev/ttyS254
  Link("COM3", folder_ + "/nothing-here");
  EXPECT_EQ(plat::SerialOpen("COM3"), plat::kInvalidHandle);  // dangling link
  const std::string file = folder_ + "/plain";
  close(open(file.c_str(), O_CREAT | O_WRONLY, 0644));
  Link("COM4", file);
  EXPECT_EQ(plat::SerialOpen("COM4"), plat::kInvalidHandle);  // not a device
  Link("COM5", "/dev/null");
  EXPECT_EQ(plat::SerialOpen("COM5"), plat::kInvalidHandle);  // not a terminal
  Link("COM6", folder_);
  EXPECT_EQ(plat::SerialOpen("COM6"), plat::kInvalidHandle);  // a folder
}

TEST_F(PosixSerial, OddNamesFailSafely) {
  EXPECT_EQ(plat::SerialOpen(nullptr), plat::kInvalidHandle);
  EXPECT_EQ(plat::SerialOpen(""), plat::kInvalidHandle);
  EXPECT_EQ(plat::SerialOpen("../ports/COM7"), plat::kInvalidHandle);
  EXPECT_EQ(plat::SerialOpen(".."), plat::kInvalidHandle);
  EXPECT_EQ(plat::SerialOpen("."), plat::kInvalidHandle);
  EXPECT_EQ(plat::SerialOpen(device_.c_str()), plat::kInvalidHandle);  // a path
  EXPECT_EQ(plat::SerialOpen("COM7/"), plat::kInvalidHandle);
  EXPECT_EQ(plat::SerialOpen("COM07"), plat::kInvalidHandle);
  const std::string long_name(100000, 'C');
  EXPECT_EQ(plat::SerialOpen(long_name.c_str()), plat::kInvalidHandle);
  const std::string long_com = "COM" + std::string(5000, '1');
  EXPECT_EQ(plat::SerialOpen(long_com.c_str()), plat::kInvalidHandle);
}

TEST_F(PosixSerial, EveryCallRefusesABadHandle) {
  port_ = plat::SerialOpen("COM7");
  ASSERT_NE(port_, plat::kInvalidHandle);
  const plat::Handle closed = port_;
  ASSERT_TRUE(plat::SerialClose(closed));
  port_ = plat::kInvalidHandle;
  for (const plat::Handle bad :
       {plat::kInvalidHandle, plat::Handle{0}, closed, plat::Handle{0x12345}}) {
    plat::LineSettings line;
    line.baud = 9600;
    char buffer[4];
    std::uint32_t count = 99;
    EXPECT_FALSE(plat::SerialSetLineSettings(bad, line));
    EXPECT_FALSE(plat::SerialSetTimeouts(bad, kPlugInTimeouts));
    EXPECT_FALSE(plat::SerialPurge(bad, 15));
    EXPECT_FALSE(plat::SerialTransmitChar(bad, 'Q'));
    EXPECT_FALSE(plat::SerialRead(bad, buffer, sizeof buffer, &count));
    EXPECT_EQ(count, 0u);
    EXPECT_FALSE(plat::SerialClose(bad));
  }
  // A new port in the same slot does not answer to the old handle.
  port_ = plat::SerialOpen("COM7");
  ASSERT_NE(port_, plat::kInvalidHandle);
  EXPECT_NE(port_, closed);
  EXPECT_FALSE(plat::SerialClose(closed));
}

// ---- Line settings ---------------------------------------------------------------

TEST(PosixSerialDefinition, ParsesTheDefinitionString) {
  plat::LineSettings line;
  line.out_x = line.in_x = line.outx_cts_flow = line.dtr_enable = line.rts_enable = true;
  ASSERT_TRUE(plat::SerialBuildLineSettings("baud=9600 parity=N data=8 stop=1", line));
  EXPECT_EQ(line.baud, 9600u);
  EXPECT_EQ(line.parity, 'N');
  EXPECT_EQ(line.data_bits, 8);
  EXPECT_EQ(line.stop_bits, 1);
  EXPECT_FALSE(line.out_x);
  EXPECT_FALSE(line.in_x);
  EXPECT_FALSE(line.outx_cts_flow);
  EXPECT_FALSE(line.outx_dsr_flow);
  EXPECT_FALSE(line.dtr_enable);
  EXPECT_FALSE(line.rts_enable);

  ASSERT_TRUE(plat::SerialBuildLineSettings("  STOP=2\tData=7 PARITY=e BAUD=19200 ", line));
  EXPECT_EQ(line.baud, 19200u);
  EXPECT_EQ(line.parity, 'E');
  EXPECT_EQ(line.data_bits, 7);
  EXPECT_EQ(line.stop_bits, 2);

  ASSERT_TRUE(plat::SerialBuildLineSettings("baud=96 xon=on dtr=on rts=off", line));
  EXPECT_EQ(line.baud, 9600u);
  EXPECT_TRUE(line.out_x);
  EXPECT_TRUE(line.in_x);
  EXPECT_TRUE(line.dtr_enable);
  EXPECT_FALSE(line.rts_enable);
}

TEST(PosixSerialDefinition, TwoDigitRatesStandForTheModeCommandsRates) {
  // Every abbreviation, and rates that only look like one stay as they are.
  const std::uint32_t cases[][2] = {{11, 110},  {15, 150},  {30, 300},     {60, 600},   {12, 1200},
                                    {24, 2400}, {48, 4800}, {96, 9600},    {19, 19200}, {600, 600},
                                    {110, 110}, {14, 14},   {38400, 38400}};
  for (const auto& [typed, rate] : cases) {
    plat::LineSettings line;
    const std::string definition = "baud=" + std::to_string(typed);
    ASSERT_TRUE(plat::SerialBuildLineSettings(definition.c_str(), line)) << definition;
    EXPECT_EQ(line.baud, rate) << definition;
  }
}

TEST(PosixSerialDefinition, RefusesBadDefinitionsAndChangesNothing) {
  for (const char* bad :
       {"", "   ", "baud=9600 speed=1", "baud=abc", "baud=", "baud=0", "baud=99999999999", "data=9",
        "data=4", "stop=3", "stop=1.5", "parity=X", "parity=NN", "baud 9600", "=9600",
        "baud=9600parity=N", "xon=maybe", "baud=-9600"}) {
    plat::LineSettings line;
    line.baud = 1234;
    line.out_x = true;
    EXPECT_FALSE(plat::SerialBuildLineSettings(bad, line)) << '"' << bad << '"';
    EXPECT_EQ(line.baud, 1234u) << bad;
    EXPECT_TRUE(line.out_x) << bad;
  }
  plat::LineSettings line;
  EXPECT_FALSE(plat::SerialBuildLineSettings(nullptr, line));
  // A handshake is on or off, nothing else.
  for (const char* key : {"xon", "octs", "odsr", "dtr", "rts"}) {
    for (const char* value : {"yes", "1", "of"}) {
      const std::string bad = std::string(key) + "=" + value;
      EXPECT_FALSE(plat::SerialBuildLineSettings(bad.c_str(), line)) << bad;
    }
  }
}

TEST_F(PosixSerial, AppliesRawLineWithXonXoff) {
  OpenConfigured(kPlugInTimeouts);
  termios tio{};
  ASSERT_EQ(tcgetattr(slave_, &tio), 0);
  EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B9600));
  EXPECT_EQ(cfgetispeed(&tio), static_cast<speed_t>(B9600));
  EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(tio.c_cflag & PARENB, 0u);
  EXPECT_EQ(tio.c_cflag & CSTOPB, 0u);
  EXPECT_EQ(tio.c_cflag & CRTSCTS, 0u);
  EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
  EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
  EXPECT_EQ(tio.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | BRKINT | IXANY), 0u);
  EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(tio.c_oflag & OPOST, 0u);
}

TEST_F(PosixSerial, AppliesOtherLines) {
  port_ = plat::SerialOpen("COM7");
  ASSERT_NE(port_, plat::kInvalidHandle);
  plat::LineSettings line;
  ASSERT_TRUE(plat::SerialBuildLineSettings("baud=115200 parity=O data=7 stop=2", line));
  ASSERT_TRUE(plat::SerialSetLineSettings(port_, line));
  termios tio{};
  ASSERT_EQ(tcgetattr(slave_, &tio), 0);
  EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B115200));
  EXPECT_EQ(tio.c_cflag & CSTOPB, static_cast<tcflag_t>(CSTOPB));
  // Recent kernels keep a pseudo-terminal at 8 data bits without parity
  // whatever is asked, so character size and parity are not checked here.
  EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), 0u);

  line.baud = 12345;  // no such rate
  EXPECT_FALSE(plat::SerialSetLineSettings(port_, line));
  line.baud = 9600;
  line.data_bits = 9;
  EXPECT_FALSE(plat::SerialSetLineSettings(port_, line));
  line.data_bits = 8;
  line.stop_bits = 3;
  EXPECT_FALSE(plat::SerialSetLineSettings(port_, line));
  line.stop_bits = 1;
  line.parity = 'X';
  EXPECT_FALSE(plat::SerialSetLineSettings(port_, line));
  line.parity = 'N';
  line.outx_dsr_flow = true;  // no termios counterpart
  EXPECT_FALSE(plat::SerialSetLineSettings(port_, line));
  line.outx_dsr_flow = false;
  EXPECT_TRUE(plat::SerialSetLineSettings(port_, line));

  // A device without modem lines is no failure (515 is the kernel's ENOIOCTLCMD, which some
  // drivers let out); a modem line that fails is.
  line.dtr_enable = true;
  for (const int error : {ENOTTY, EINVAL, 515, EIO}) {
    g_modem_line_error = error;
    EXPECT_EQ(plat::SerialSetLineSettings(port_, line), error != EIO) << error;
  }
  g_modem_line_error = 0;
}

TEST_F(PosixSerial, AppliesEveryStandardRate) {
  port_ = plat::SerialOpen("COM7");
  ASSERT_NE(port_, plat::kInvalidHandle);
  const std::pair<std::uint32_t, speed_t> rates[] = {
      {50, B50},           {75, B75},           {110, B110},         {134, B134},
      {150, B150},         {200, B200},         {300, B300},         {600, B600},
      {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
      {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
      {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
      {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
      {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
      {3500000, B3500000}, {4000000, B4000000}};
  for (const auto& [baud, code] : rates) {
    plat::LineSettings line;
    line.baud = baud;
    ASSERT_TRUE(plat::SerialSetLineSettings(port_, line)) << baud;
    termios tio{};
    ASSERT_EQ(tcgetattr(slave_, &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), code) << baud;
  }
}

// ---- Purge and transmit -------------------------------------------------------------

TEST_F(PosixSerial, PurgeDiscardsWhatArrived) {
  OpenConfigured(kPlugInTimeouts);
  for (const std::uint32_t flags :
       {plat::kPurgeRxAbort | plat::kPurgeRxClear | plat::kPurgeTxAbort | plat::kPurgeTxClear,
        plat::kPurgeTxClear | plat::kPurgeRxClear, plat::kPurgeTxAbort | plat::kPurgeRxAbort}) {
    DeviceSends("stale");
    WaitForInput(5);
    ASSERT_TRUE(plat::SerialPurge(port_, flags)) << flags;
    char buffer[8];
    std::uint32_t count = 99;
    ASSERT_TRUE(plat::SerialRead(port_, buffer, sizeof buffer, &count));
    EXPECT_EQ(count, 0u) << "purge " << flags << " left bytes behind";
  }
  EXPECT_TRUE(plat::SerialPurge(port_, 0));
  EXPECT_FALSE(plat::SerialPurge(port_, 0x10));
}

TEST_F(PosixSerial, TransmitsOneCharacter) {
  OpenConfigured(kPlugInTimeouts);
  ASSERT_TRUE(plat::SerialTransmitChar(port_, 'Q'));
  ASSERT_TRUE(plat::SerialTransmitChar(port_, 'P'));
  pollfd pfd{master_, POLLIN, 0};
  ASSERT_EQ(poll(&pfd, 1, 2000), 1);
  char got[2] = {};
  std::size_t have = 0;
  const auto start = Clock::now();
  while (have < 2 && MillisecondsSince(start) < 2000) {
    const ssize_t n = read(master_, got + have, 2 - have);
    if (n > 0) have += static_cast<std::size_t>(n);
  }
  ASSERT_EQ(have, 2u);
  EXPECT_EQ(got[0], 'Q');
  EXPECT_EQ(got[1], 'P');
}

// ---- The read rule -----------------------------------------------------------------

TEST_F(PosixSerial, CompleteReadReturnsAtOnce) {
  // Time-outs long enough that waiting for any of them would show.
  OpenConfigured(plat::Timeouts{2000, 10, 5000, 10, 100});
  DeviceSends("+01234\t-00567\r");
  WaitForInput(14);
  char buffer[14];
  std::uint32_t count = 0;
  const auto start = Clock::now();
  ASSERT_TRUE(plat::SerialRead(port_, buffer, sizeof buffer, &count));
  EXPECT_LT(MillisecondsSince(start), 1000);
  ASSERT_EQ(count, 14u);
  EXPECT_EQ(std::string(buffer, 14), "+01234\t-00567\r");
}

TEST_F(PosixSerial, CompleteReadOfBytesInFlightReturnsWithTheLast) {
  OpenConfigured(plat::Timeouts{2000, 10, 5000, 10, 100});
  const pid_t device = DeviceScript({{50, "+0123"}, {30, "4\t-00"}, {30, "567\r"}});
  char buffer[14];
  std::uint32_t count = 0;
  const auto start = Clock::now();
  ASSERT_TRUE(plat::SerialRead(port_, buffer, sizeof buffer, &count));
  const double elapsed = MillisecondsSince(start);
  Finish(device);
  EXPECT_EQ(count, 14u);
  EXPECT_GE(elapsed, 100);
  EXPECT_LT(elapsed, 1500) << "waited for a time-out after the last byte";
}

TEST_F(PosixSerial, SilentDeviceCostsTheTotalTimeout) {
  OpenConfigured(kPlugInTimeouts);
  char buffer[14];
  std::uint32_t count = 99;
  const auto start = Clock::now();
  ASSERT_TRUE(plat::SerialRead(port_, buffer, sizeof buffer, &count));
  const double elapsed = MillisecondsSince(start);
  EXPECT_EQ(count, 0u);
  EXPECT_GE(elapsed, 239);  // 10 x 14 + 100
  EXPECT_LT(elapsed, 1000);

  std::uint32_t status_count = 99;
  const auto status_start = Clock::now();
  ASSERT_TRUE(plat::SerialRead(port_, buffer, 4, &status_count));
  EXPECT_EQ(status_count, 0u);
  EXPECT_GE(MillisecondsSince(status_start), 139);  // 10 x 4 + 100
}

TEST_F(PosixSerial, PauseAfterBytesEndsTheRead) {
  // The interval alone ends this read: the total is far away.
  OpenConfigured(plat::Timeouts{20, 0, 5000, 10, 100});
  DeviceSends("+0123");
  WaitForInput(5);
  char buffer[14];
  std::uint32_t count = 0;
  const auto start = Clock::now();
  ASSERT_TRUE(plat::SerialRead(port_, buffer, sizeof buffer, &count));
  const double elapsed = MillisecondsSince(start);
  EXPECT_EQ(count, 5u);
  EXPECT_GE(elapsed, 19);
  EXPECT_LT(elapsed, 1000);
}

TEST_F(PosixSerial, IntervalTimerRestartsWithEveryByte) {
  // Gaps of 30 ms under an interval of 300 ms: the read goes on across them
  // and ends about 300 ms after the last byte.
  OpenConfigured(plat::Timeouts{300, 0, 10000, 10, 100});
  const pid_t device = DeviceScript({{0, "abc"}, {30, "def"}, {30, "ghi"}});
  char buffer[14];
  std::uint32_t count = 0;
  const auto start = Clock::now();
  ASSERT_TRUE(plat::SerialRead(port_, buffer, sizeof buffer, &count));
  const double elapsed = MillisecondsSince(start);
  Finish(device);
  EXPECT_EQ(count, 9u);
  EXPECT_EQ(std::string(buffer, count), "abcdefghi");
  EXPECT_GE(elapsed, 350);
  EXPECT_LT(elapsed, 3000);
}

TEST_F(PosixSerial, AReadTakesNoMoreThanAskedAndLeavesTheRest) {
  // The second part comes while the first waits in the buffer: the read
  // stops at the size asked, and the rest waits for the next read.
  OpenConfigured(plat::Timeouts{300, 0, 10000, 10, 100});
  const pid_t device = DeviceScript({{0, "abc"}, {30, "defghijk"}});
  char buffer[16] = {};
  std::uint32_t count = 0;
  ASSERT_TRUE(plat::SerialRead(port_, buffer, 6, &count));
  EXPECT_EQ(std::string(buffer, count), "abcdef");
  Finish(device);
  ASSERT_TRUE(plat::SerialRead(port_, buffer, 5, &count));
  EXPECT_EQ(std::string(buffer, count), "ghijk");
}

TEST_F(PosixSerial, IntervalWaitsForTheFirstByte) {
  // No interval timer before the first byte: a device that answers late
  // within the total still gets its answer read.
  OpenConfigured(plat::Timeouts{20, 10, 400, 10, 100});
  const pid_t device = DeviceScript({{150, "+01234\t-00567\r"}});
  char buffer[14];
  std::uint32_t count = 0;
  ASSERT_TRUE(plat::SerialRead(port_, buffer, sizeof buffer, &count));
  Finish(device);
  EXPECT_EQ(count, 14u);
}

TEST_F(PosixSerial, TotalTimeoutEndsATrickle) {
  // A byte every 20 ms under an interval of 100 ms: only the total, 300 ms,
  // ends the read.
  OpenConfigured(plat::Timeouts{100, 0, 300, 10, 100});
  const pid_t device =
      DeviceScript({{0, "a"},  {20, "b"}, {20, "c"}, {20, "d"}, {20, "e"}, {20, "f"}, {20, "g"},
                    {20, "h"}, {20, "i"}, {20, "j"}, {20, "k"}, {20, "l"}, {20, "m"}, {20, "n"},
                    {20, "o"}, {20, "p"}, {20, "q"}, {20, "r"}, {20, "s"}, {20, "t"}, {20, "u"},
                    {20, "v"}, {20, "w"}, {20, "x"}, {20, "y"}});
  char buffer[64];
  std::uint32_t count = 0;
  const auto start = Clock::now();
  ASSERT_TRUE(plat::SerialRead(port_, buffer, sizeof buffer, &count));
  const double elapsed = MillisecondsSince(start);
  Finish(device);
  EXPECT_GE(elapsed, 299);
  EXPECT_LT(elapsed, 2000);
  EXPECT_GE(count, 2u);
  EXPECT_LT(count, 25u);
}

// Interval MAXDWORD with both totals 0 returns at once; with the multiplier
// MAXDWORD too and a constant, it waits up to the constant for the first
// byte only.  Either takes what is there.
TEST_F(PosixSerial, ImmediateReadTakesWhatIsThere) {
  struct Mode {
    plat::Timeouts timeouts;
    double empty_at_least, empty_under;
  };
  OpenConfigured(kPlugInTimeouts);
  for (const Mode& m : {Mode{{0xFFFFFFFFu, 0, 0, 10, 100}, 0, 100},
                        Mode{{0xFFFFFFFFu, 0xFFFFFFFFu, 300, 10, 100}, 299, 2000}}) {
    ASSERT_TRUE(plat::SerialSetTimeouts(port_, m.timeouts));
    char buffer[14];
    std::uint32_t count = 99;
    auto start = Clock::now();
    ASSERT_TRUE(plat::SerialRead(port_, buffer, sizeof buffer, &count));
    EXPECT_EQ(count, 0u);
    EXPECT_GE(MillisecondsSince(start), m.empty_at_least);
    EXPECT_LT(MillisecondsSince(start), m.empty_under);
    DeviceSends("xyz");
    WaitForInput(3);
    start = Clock::now();
    ASSERT_TRUE(plat::SerialRead(port_, buffer, sizeof buffer, &count));
    EXPECT_EQ(count, 3u);
    EXPECT_LT(MillisecondsSince(start), 100);
  }
}

TEST_F(PosixSerial, ZeroSizedReadSucceeds) {
  OpenConfigured(kPlugInTimeouts);
  std::uint32_t count = 99;
  EXPECT_TRUE(plat::SerialRead(port_, nullptr, 0, &count));
  EXPECT_EQ(count, 0u);
}

TEST_F(PosixSerial, HangUpFailsTheRead) {
  OpenConfigured(kPlugInTimeouts);
  close(master_);
  master_ = -1;
  char buffer[14];
  std::uint32_t count = 99;
  const auto start = Clock::now();
  EXPECT_FALSE(plat::SerialRead(port_, buffer, sizeof buffer, &count));
  EXPECT_LT(MillisecondsSince(start), 1000);
  EXPECT_EQ(count, 0u);
  EXPECT_FALSE(plat::SerialTransmitChar(port_, 'Q'));
  EXPECT_TRUE(plat::SerialClose(port_));
  port_ = plat::kInvalidHandle;
}

// A device that fails a write, or a wait that fails, fails the call at once:
// neither is output held or input still to come.
TEST_F(PosixSerial, AFailedWriteOrWaitFailsAtOnce) {
  OpenConfigured(plat::Timeouts{20, 10, 100, 0, 3000});  // a held byte may wait 3 s
  struct stat st = {};
  ASSERT_EQ(stat(device_.c_str(), &st), 0);
  g_failing_device = st.st_rdev;
  const auto start = Clock::now();
  EXPECT_FALSE(plat::SerialTransmitChar(port_, 'Q'));
  EXPECT_LT(MillisecondsSince(start), 1500) << "a failed write was waited on as held output";
  g_failing_device = 0;

  DeviceSends("+01234\t-00567\r");
  char buffer[14];
  std::uint32_t count = 99;
  g_poll_fails = true;
  const bool read = plat::SerialRead(port_, buffer, sizeof buffer, &count);
  const bool sent = plat::SerialTransmitChar(port_, 'Q');
  g_poll_fails = false;
  EXPECT_FALSE(read);
  EXPECT_FALSE(sent);
}

TEST_F(PosixSerial, HangUpWhileWaitingFailsTheRead) {
  OpenConfigured(plat::Timeouts{0, 0, 0, 10, 100});  // no time-outs: waits for ever
  const pid_t child = fork();
  if (child == 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (write(master_, "+0123", 5) != 5) _exit(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    _exit(0);  // the last copy of the master closes with it
  }
  close(master_);
  master_ = -1;
  // The child still holds the master; the read takes its bytes and waits on
  // until it exits.  A failed read reports no bytes, as ReadFile does.
  char buffer[14];
  std::uint32_t count = 99;
  const auto start = Clock::now();
  EXPECT_FALSE(plat::SerialRead(port_, buffer, sizeof buffer, &count));
  EXPECT_GE(MillisecondsSince(start), 100);
  EXPECT_EQ(count, 0u);
  waitpid(child, nullptr, 0);
}

TEST_F(PosixSerial, AnotherReaderCannotHoldAReadPastItsTimeout) {
  // A program that had the device open before the port (a forgotten terminal
  // program, a modem manager probing it) takes the box's answer right after
  // poll() reported it.  The read still ends within 10 x 14 + 100 ms.
  OpenConfigured(kPlugInTimeouts);
  const int other = open(device_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(other, 0);
  DeviceSends("+01234\t-00567\r");
  WaitForInput(14);
  g_other_reader = other;
  std::atomic<bool> done{false};
  std::uint32_t count = 99;
  double elapsed = 0;
  std::thread reader([&] {
    char buffer[14];
    const auto start = Clock::now();
    plat::SerialRead(port_, buffer, sizeof buffer, &count);
    elapsed = MillisecondsSince(start);
    done = true;
  });
  const auto start = Clock::now();
  while (!done && MillisecondsSince(start) < 3000) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const bool hung = !done;
  if (hung) {
    close(master_);  // the hang-up ends the blocked read
    master_ = -1;
  }
  reader.join();
  close(other);
  ASSERT_FALSE(hung) << "the read blocked after another reader took the answer";
  EXPECT_EQ(g_taken.load(), 14);
  EXPECT_EQ(count, 0u);
  EXPECT_GE(elapsed, 239);
  EXPECT_LT(elapsed, 240 + 150);

  // The next answer, which nobody else takes, is read whole.
  DeviceSends("+00001\t+00002\r");
  char buffer[14];
  ASSERT_TRUE(plat::SerialRead(port_, buffer, sizeof buffer, &count));
  EXPECT_EQ(count, 14u);
}

}  // namespace
