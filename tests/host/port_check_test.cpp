// Why a port cannot be opened, as the host tells it after the plug-in's box
// and with check-port: each reason against a real device.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "dsc_sim.h"
#include "host_test_support.h"
#include "link/messages.h"
#include "port_holder.h"
#include "temp_config.h"

namespace {

using hosttest::RunHost;
using hosttest::ShellQuote;

// Whether `part` is in `text`, with the host's line wrapping undone.
bool Has(std::string text, const std::string& part) {
  for (std::size_t at; (at = text.find("\n  ")) != std::string::npos;) text.replace(at, 3, " ");
  return text.find(part) != std::string::npos;
}

class PortCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(box_.Start());
    box_.SetPacing(false);
    config_.WriteProfile("[ZazuvUzarDLL]\nCommPort=COM1\n");
    config_.LinkPort("COM1", box_.SlavePath());
  }
  std::string Args() const {
    return "--scripted --plugin " + ShellQuote(CONTROLLER_PLUG_PATH) + " --config " +
           ShellQuote(config_.Path().string());
  }
  hosttest::Run Check(const std::string& port) const {
    return RunHost("--config " + ShellQuote(config_.Path().string()) + " --check-port " + port, "");
  }

  dscsim::Box box_;
  testsupport::TempConfigDir config_;
};

TEST_F(PortCheck, AMissingDeviceIsNamedAfterThePlugInsBox) {
  config_.LinkPort("COM2", "/dev/ttyUSB97");
  config_.WriteProfile("[ZazuvUzarDLL]\nCommPort=COM2\n");
  const hosttest::Run run = RunHost(Args(), "connect\nquit\n");
  const std::size_t box = run.out.find(ctl::msg::kCannotOpenPort);
  const std::size_t reason = run.out.find("Port COM2 is /dev/ttyUSB97 (the link");
  ASSERT_NE(box, std::string::npos) << run.out;
  ASSERT_NE(reason, std::string::npos) << run.out;
  EXPECT_LT(box, reason);
  EXPECT_TRUE(Has(run.out, "which does not exist.")) << run.out;
  EXPECT_TRUE(Has(run.out, "Not connected.")) << run.out;

  // Without a link a port of the dialog is a built-in one; a name without a number is nothing.
  hosttest::Run check = Check("COM4");
  EXPECT_EQ(check.exit_code, 1);
  EXPECT_TRUE(Has(check.out, "Port COM4 is /dev/ttyS3, which does not exist.")) << check.out;
  check = Check("LPT1");
  EXPECT_EQ(check.exit_code, 1);
  EXPECT_TRUE(Has(check.out, "Port LPT1 names no device")) << check.out;
}

TEST_F(PortCheck, APortInUseNamesTheProgramHoldingIt) {
  testsupport::PortHolder holder(box_.SlavePath());
  ASSERT_TRUE(holder.Holding());
  const hosttest::Run run = RunHost(Args(), "connect\ncheck-port\nquit\n");
  EXPECT_TRUE(Has(run.out, ctl::msg::kCannotOpenPort)) << run.out;
  EXPECT_TRUE(Has(run.out, "Port COM1 is " + box_.SlavePath())) << run.out;
  EXPECT_TRUE(Has(run.out, "which is in use by process ")) << run.out;
  EXPECT_TRUE(Has(run.out, "(host_tests)")) << run.out;
  EXPECT_EQ(Check("COM1").exit_code, 1);

  holder.Release();
  const hosttest::Run free = Check("COM1");
  EXPECT_EQ(free.exit_code, 0) << free.out;
  EXPECT_TRUE(Has(free.out, ": ready.")) << free.out;
}

TEST_F(PortCheck, AnotherReaderIsNamedOnConnecting) {
  // A program that keeps the device open without locking it (a forgotten
  // terminal program): the port opens, and the host names the program.
  const std::string hold = "sleep 20 <>" + ShellQuote(box_.SlavePath()) + " & echo $!";
  FILE* pipe = popen(hold.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  int pid = 0;
  ASSERT_EQ(std::fscanf(pipe, "%d", &pid), 1);
  pclose(pipe);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const hosttest::Run run = RunHost(Args(), "connect\nquit\n");
  kill(pid, SIGTERM);
  EXPECT_TRUE(Has(run.out, "Connected.")) << run.out;
  EXPECT_TRUE(Has(run.out, "is also open in process " + std::to_string(pid) + " (sleep)"))
      << run.out;
  const hosttest::Run check = Check("COM1");
  EXPECT_EQ(check.exit_code, 0) << check.out;
}

TEST_F(PortCheck, APermissionProblemGivesTheCure) {
  // The device refuses the user: an unprivileged user against the terminal
  // as it is (root's, mode 620), or its owner once it is made mode 000.
  const std::string device = box_.SlavePath();
  std::string command = ShellQuote(VELASTRA_HOST_PATH) + " --check-port COM1";
  if (geteuid() == 0) {
    if (std::system("command -v setpriv >/dev/null 2>&1") != 0) GTEST_SKIP() << "no setpriv";
    ASSERT_EQ(chmod(config_.Path().c_str(), 0755), 0);
    ASSERT_EQ(chmod(device.c_str(), 0620), 0);
    // The build may lie where that user cannot reach (a checkout in root's
    // home folder): it runs a copy of the host from the test's own folder.
    const std::filesystem::path host = config_.Path() / "velastra-host";
    std::filesystem::copy_file(VELASTRA_HOST_PATH, host);
    std::filesystem::permissions(host, std::filesystem::perms(0755));
    command = "setpriv --reuid=65534 --regid=65534 --clear-groups env VELASTRA_CONFIG_DIR=" +
              ShellQuote(config_.Path().string()) + " " + ShellQuote(host.string()) +
              " --check-port COM1";
  } else {
    ASSERT_EQ(chmod(device.c_str(), 0), 0);
    command = "VELASTRA_CONFIG_DIR=" + ShellQuote(config_.Path().string()) + " " + command;
  }
  std::string out;
  if (FILE* pipe = popen((command + " 2>&1").c_str(), "r")) {
    char buffer[1024];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, got);
    EXPECT_NE(pclose(pipe), 0);
  }
  EXPECT_TRUE(Has(out, "Port COM1 is " + device)) << out;
  EXPECT_TRUE(Has(out, ": permission denied.")) << out;
  EXPECT_TRUE(Has(out, "sudo usermod -aG ")) << out;
}

// What a person may type for a port: a name (the dialog's COM1 to COM4, or
// one with a link), or a device path, which the check names the port for.
TEST_F(PortCheck, NamesAndPathsAreTakenAsTypedAndNoHarmfulAdviceIsGiven) {
  dscsim::Box unlinked;
  ASSERT_TRUE(unlinked.Start());
  unlinked.SetPacing(false);
  config_.LinkPort("COM7", "/dev/ttyUSB97");
  const struct {
    std::string typed;
    int exit_code;
    std::string said;
  } cases[] = {
      {box_.SlavePath(), 0, "Port COM1 is " + box_.SlavePath() + " (the link"},
      {unlinked.SlavePath(), 0, "No port links to " + unlinked.SlavePath() + "; to use it"},
      {"COM10", 1, "Port COM10 names no device: the plug-in keeps at most four characters"},
      {"COM5", 1, "To use COM5, link it to the box's device at the velastra-host prompt"},
      {"COM7", 1, "Port COM7 is /dev/ttyUSB97 (the link"},
      {"/dev/ttyUSB96", 1, "/dev/ttyUSB96, which does not exist."},
      {"frob nicate", 1, "Port frob nicate names no device: a port is COM1 to COM4"},
      {"COM257", 1, "Port COM257 names no device: a port is COM1 to COM4"},
      {"COM256", 1, "Port COM256 names no device: the plug-in keeps at most four"},
  };
  for (const auto& c : cases) {
    const hosttest::Run run = Check(ShellQuote(c.typed));
    EXPECT_EQ(run.exit_code, c.exit_code) << c.typed << ":\n" << run.out;
    EXPECT_TRUE(Has(run.out, c.said)) << c.typed << ":\n" << run.out;
    EXPECT_FALSE(Has(run.out, "ln -sf")) << run.out;
    EXPECT_FALSE(Has(run.out, "Port COM1 ") && c.typed == "COM10") << run.out;
  }
}

// "ready" only when the box answered as the plug-in reads it; otherwise what
// came back.
TEST_F(PortCheck, TheBoxIsAskedAndWhatCameBackIsTold) {
  const struct {
    dscsim::Faults faults;
    std::string said;
  } cases[] = {
      {{}, "answered the counts +00000 and +00000 in "},
      {{.silent = true}, "nothing came back within a second: is it switched on"},
      {{.short_length = 5}, "answered 5 bytes, not 14: \"+0000\"."},
      {{.no_signs = true}, "answered without signs: \" 00000\\t 00000\\r\""},
      {{.byte_gap_ms = 30}, "The bytes fit a line at about 300 baud"},
      {{.answer_delay_ms = 300}, "the plug-in waits 240 ms in all and 20 ms between bytes"},
  };
  for (const auto& c : cases) {
    box_.SetFaults(c.faults);
    const hosttest::Run run = Check("COM1");
    const bool good = !c.faults.silent && c.faults.short_length < 0 && !c.faults.no_signs &&
                      c.faults.byte_gap_ms == 0 && c.faults.answer_delay_ms == 0;
    EXPECT_EQ(run.exit_code, good ? 0 : 1) << run.out;
    EXPECT_TRUE(Has(run.out, c.said)) << run.out;
    EXPECT_EQ(Has(run.out, ": ready."), good) << run.out;
  }
  // A long answer is shown by its first 32 bytes; the rate its length fits.
  box_.ClearFaults();
  const struct {
    std::string bytes, said;
  } lengths[] = {
      {"0123456789012345678901234567890123456789",
       "answered 40 bytes, not 14: \"01234567890123456789012345678901...\". The "
       "bytes fit a line at about 2400 baud"},
      {"+", "answered 1 byte, not 14: \"+\". The bytes fit a line at about 115200 baud"}};
  for (const auto& l : lengths) {
    ASSERT_TRUE(box_.SetCountsBytes(l.bytes));
    const std::string out = Check("COM1").out;
    EXPECT_TRUE(Has(out, l.said)) << out;
  }
  box_.ClearCountsBytes();
  // The status is asked too, where the profile has it on.
  ASSERT_TRUE(box_.SetStatusBytes("042\r"));
  EXPECT_TRUE(Has(Check("COM1").out, "answered the status \"042\\r\"")) << Check("COM1").out;
  // Bytes a person cannot read, DEL among them, are shown as hex.
  ASSERT_TRUE(box_.SetStatusBytes("\17742\r"));
  EXPECT_TRUE(Has(Check("COM1").out, "answered the status \"\\x7F42\\r\"")) << Check("COM1").out;
  config_.WriteProfile("[ZazuvUzarDLL]\nCommPort=COM1\nPCode=OFF\n");
  EXPECT_FALSE(Has(Check("COM1").out, "status")) << Check("COM1").out;
}

TEST_F(PortCheck, WhileConnectedTheHostsOwnHoldIsNoOtherProgram) {
  box_.SetFaults({.silent = true});
  const hosttest::Run run = RunHost(Args(), "connect\ncheck-port\ncheck-port COM1\nquit\n");
  EXPECT_TRUE(Has(run.out, "Connected, but the box's answers will not do: Port COM1 is"))
      << run.out;
  EXPECT_TRUE(Has(run.out, "Port COM1 is " + box_.SlavePath() +
                               ": connected; this host has it open (type disconnect to free it)."))
      << run.out;
  EXPECT_FALSE(Has(run.out, "in use by")) << run.out;
}

TEST_F(PortCheck, ALinkToAPseudoTerminalLastsForTheSessionOnly) {
  config_.LinkPort("COM2", "/dev/ttyUSB0");
  const hosttest::Run run = RunHost(Args(), "port COM2 " + box_.SlavePath() + "\nport COM3 " +
                                                box_.SlavePath() + "\ncheck-port COM2\nquit\n");
  EXPECT_TRUE(Has(run.out, "COM2 is now " + box_.SlavePath() +
                               " for this session only (a pseudo-terminal; the link goes at "
                               "exit, and /dev/ttyUSB0 comes back)."))
      << run.out;
  EXPECT_TRUE(Has(run.out, "Port COM2 is " + box_.SlavePath())) << run.out;
  EXPECT_EQ(std::filesystem::read_symlink(config_.Path() / "ports" / "COM2"), "/dev/ttyUSB0");
  EXPECT_FALSE(std::filesystem::is_symlink(config_.Path() / "ports" / "COM3"));
  // A session ended by a signal puts its links back too.
  const std::string host = ShellQuote(VELASTRA_HOST_PATH) + " " + Args();
  ASSERT_EQ(std::system(("(printf 'port COM2 " + box_.SlavePath() + "\\nwait 20\\n' | " + host +
                         " >/dev/null & sleep 1; kill $!; wait)")
                            .c_str()),
            0);
  EXPECT_EQ(std::filesystem::read_symlink(config_.Path() / "ports" / "COM2"), "/dev/ttyUSB0");
  // A lasting device stays linked, and what it replaced is named.
  const hosttest::Run lasting = RunHost(Args(), "port COM2 /dev/null\nquit\n");
  EXPECT_TRUE(Has(lasting.out,
                  "COM2 is now /dev/null (takes effect at the next connect; it was "
                  "/dev/ttyUSB0)."))
      << lasting.out;
  EXPECT_EQ(std::filesystem::read_symlink(config_.Path() / "ports" / "COM2"), "/dev/null");
}

}  // namespace
