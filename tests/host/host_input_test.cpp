// Every option and command a person may get wrong: one clear sentence, and
// the host goes on (or, for an option, stops before it starts).
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "host_test_support.h"
#include "temp_config.h"

namespace {

using hosttest::ShellQuote;

struct Refusal {
  const char* arguments;  // after --plugin and --config
  const char* input;
  int exit_code;
  const char* said;  // on standard output, or on standard error for an option
};

void PrintTo(const Refusal& r, std::ostream* os) { *os << r.arguments << " | " << r.input; }

class HostRefuses : public ::testing::TestWithParam<Refusal> {};

TEST_P(HostRefuses, WithOneClearSentence) {
  const Refusal& r = GetParam();
  testsupport::TempConfigDir config;
  config.WriteProfile("[ZazuvUzarDLL]\nResRA=8192\nResDec=8192\nCommPort=COM1\n");
  const hosttest::Run run =
      hosttest::RunHost("--scripted --plugin " + ShellQuote(CONTROLLER_PLUG_PATH) + " --config " +
                            ShellQuote(config.Path().string()) + " " + r.arguments,
                        r.input);
  EXPECT_EQ(run.exit_code, r.exit_code) << run.out << run.err;
  EXPECT_NE((run.out + run.err).find(r.said), std::string::npos) << run.out << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Input, HostRefuses,
    ::testing::Values(
        Refusal{"--lat nan", "", 2, "option --lat needs degrees between -90 and 90, not 'nan'"},
        Refusal{"--lon nan", "", 2, "option --lon needs degrees between -180 and 180"},
        Refusal{"--lon -181", "", 2, "option --lon needs degrees"},
        Refusal{"--pressure 1201", "", 2, "option --pressure needs hectopascals from 0 to 1200"},
        Refusal{"--temperature 61", "", 2, "option --temperature needs degrees Celsius"},
        Refusal{"--temperature -61", "", 2, "option --temperature needs degrees Celsius"},
        Refusal{"--check-port ''", "", 2, "option --check-port needs a value, not an empty text"},
        Refusal{"--port", "", 2, "option --port needs a value"},
        Refusal{"--demo --port /dev/ttyUSB96", "", 1, "No such port: /dev/ttyUSB96"},
        Refusal{"--lat 0", "quit\n", 0, "site 0.0000N 0.0000E"},
        Refusal{"--bogus", "", 2, "unknown option '--bogus'"},
        Refusal{"--port /dev/null", "quit\n", 0, "/dev/null (the link "},
        Refusal{"", "wait inf\nquit\n", 0,
                "wait takes a number of seconds from 0 to 3600, not 'inf'."},
        Refusal{"", "wait 100000000\nquit\n", 0, "not '100000000'."},
        Refusal{"", "watch 0\nquit\n", 0, "It must be more than 0 and at most 3600, not '0'."},
        Refusal{"", "report maybe\nquit\n", 0, "report takes on or off (or nothing, to switch)"},
        Refusal{"", "connect now\nquit\n", 0, "connect takes nothing after it."},
        Refusal{"", "stellarium-goto maybe\nquit\n", 0,
                "'maybe' is not a value for stellarium-goto."},
        Refusal{"", "sight Vega\nquit\n", 0,
                "The object menu offers no such command (connect first)."},
        Refusal{"", "lx200 127.0.0.1:70000\nquit\n", 0,
                "LX200 server: '127.0.0.1:70000' is not [ADDRESS:]PORT with a port from 0 to "
                "65535."},
        Refusal{"", "guide 9\nquit\n", 0, "guide takes a number of calibration stars from 2 to 8"},
        Refusal{"", "port COM10 /dev/null\nquit\n", 0, "Name a port COM1 to COM9, not 'COM10'."},
        // Port names are case-insensitive, as the plug-in takes them.
        Refusal{"", "port com2 /dev/null\nquit\n", 0, "COM2 is now /dev/null"},
        // Vega never rises seen from near the south pole.
        Refusal{"--lat -89", "check Vega\nquit\n", 0, "Vega is below the horizon now (Alt -"},
        Refusal{"", "configure\nc 8,192\nok\nquit\n", 0,
                "A resolution is a whole number of counts a turn, from 1 to 2147483647, in "
                "digits alone (Invert counts the other way), not '8,192'; the field keeps 8192."},
        Refusal{"", "configure\nc 0\nok\nquit\n", 0, "not '0'; the field keeps 8192."},
        Refusal{"", "configure\nd -4096\nok\nquit\n", 0, "not '-4096'; the field keeps 8192."},
        Refusal{"", "configure\nc 99999999999\nok\nquit\n", 0, "not '99999999999'"},
        Refusal{"", "configure\nk 25\nok\nquit\n", 0,
                "the plug-in took the reference point as RA 25.54"},
        Refusal{"", "configure\nn 95\nok\nquit\n", 0, "Dec +95.27"}));

TEST(HostProgram, VersionNamesTheHostAbiNotAnInterfaceVersion) {
  const hosttest::Run run = hosttest::RunHost("--version", "");
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_NE(run.out.find("(Linux host ABI version 1)"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("interface version"), std::string::npos) << run.out;
}

}  // namespace
