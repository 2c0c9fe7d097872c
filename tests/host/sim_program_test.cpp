// The dsc-sim program's command line: what a new user trips on first.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include "host_test_support.h"
#include "temp_config.h"

namespace {

using hosttest::ShellQuote;

struct Result {
  int exit_code = -1;
  std::string out;  // standard output and error together
};

Result Shell(const std::string& command) {
  Result result;
  if (FILE* pipe = popen((command + " 2>&1").c_str(), "r")) {
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, got);
    const int status = pclose(pipe);
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  return result;
}

std::string Sim() { return ShellQuote(DSC_SIM_PATH); }

int Lines(const std::string& text) {
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

TEST(SimProgram, EachOptionMistakeIsToldOnce) {
  for (const char* arguments : {"--frobnicate", "--res-ra", "--site 100,0", "--site 0,200",
                                "--tilt 20,0", "--polar-error 1", "--counter sideways"}) {
    const Result r = Shell(Sim() + " " + arguments);
    EXPECT_EQ(r.exit_code, 2) << arguments;
    // One line naming the mistake, one pointing at --help.
    EXPECT_EQ(Lines(r.out), 2) << arguments << ":\n" << r.out;
    EXPECT_NE(r.out.find("Try 'dsc-sim --help'."), std::string::npos) << r.out;
  }
  EXPECT_NE(Shell(Sim() + " --site 100,0").out.find("latitude"), std::string::npos);
  const Result version = Shell(Sim() + " --version");
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_EQ(version.out.rfind("dsc-sim ", 0), 0u) << version.out;
}

TEST(SimProgram, LinkIntoAMissingFolderMakesTheFolder) {
  testsupport::TempConfigDir config;
  // A fresh configuration folder without its ports/ folder.
  const std::string link = (config.Path() / "ports" / "COM1").string();
  // The device path on the first line, then what the link names while the
  // box runs.
  const Result r =
      Shell(Sim() + " --no-commands --link " + ShellQuote(link) +
            " & pid=$!; sleep 0.5; readlink " + ShellQuote(link) + "; kill $pid; wait $pid");
  ASSERT_GE(Lines(r.out), 2) << r.out;
  const std::string device = r.out.substr(0, r.out.find('\n'));
  EXPECT_EQ(device.rfind("/dev/pts/", 0), 0u) << r.out;
  EXPECT_NE(r.out.find(device + "\n" + device + "\n"), std::string::npos) << r.out;
  EXPECT_FALSE(std::filesystem::is_symlink(link)) << "removed at exit";

  const Result refused = Shell(Sim() + " --no-commands --link /dev/null/ports/COM1");
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_EQ(Lines(refused.out), 1) << refused.out;
  EXPECT_NE(refused.out.find("/dev/null/ports, which does not exist"), std::string::npos)
      << refused.out;
}

// What the box must never touch: a person's own link, a folder that was not
// meant ("$VELASTRA_CONFIG_DIR/ports/COM1" with the variable unset).
TEST(SimProgram, LinkNeverReplacesOrMakesWhatWasNotMeant) {
  testsupport::TempConfigDir config;
  config.LinkPort("COM1", "/dev/ttyUSB0");
  const std::string own = (config.Path() / "ports" / "COM1").string();
  const struct {
    std::string path, said;
  } cases[] = {
      {own, "exists already (a link to /dev/ttyUSB0) and is not replaced"},
      {"/ports/COM1", "/ports, which does not exist"},
      {"/COM1", "names no folder"},
      {(config.Path() / "missing" / "ports" / "COM1").string(), "which does not exist"},
  };
  for (const auto& c : cases) {
    const Result r = Shell(Sim() + " --no-commands --link " + ShellQuote(c.path));
    EXPECT_EQ(r.exit_code, 1) << c.path << ": " << r.out;
    EXPECT_NE(r.out.find(c.said), std::string::npos) << c.path << ": " << r.out;
  }
  EXPECT_EQ(std::filesystem::read_symlink(own), "/dev/ttyUSB0");
  EXPECT_FALSE(std::filesystem::exists("/ports"));
  EXPECT_FALSE(std::filesystem::exists(config.Path() / "missing"));
}

// Both kinds of box: one that keeps its counts while a program opens and
// closes the port, and one that zeroes them when the port opens.
TEST(SimProgram, ZeroOnOpenZeroesTheCountsEachTimeThePortOpens) {
  for (const bool zero : {false, true}) {
    testsupport::TempConfigDir config;
    const std::string link = (config.Path() / "ports" / "COM1").string();
    const Result r = Shell(
        Sim() + " --no-commands --no-pacing --counts 5,-7 " + (zero ? "--zero-on-open " : "") +
        "--link " + ShellQuote(link) + " >/dev/null & pid=$!; sleep 0.5; VELASTRA_CONFIG_DIR=" +
        ShellQuote(config.Path().string()) + " " + ShellQuote(VELASTRA_HOST_PATH) +
        " --check-port COM1; kill $pid; wait $pid");
    EXPECT_NE(r.out.find(zero ? "the counts +00000 and +00000" : "the counts +00005 and -00007"),
              std::string::npos)
        << r.out;
  }
}

}  // namespace
