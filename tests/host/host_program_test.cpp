// The host program in scripted mode against the simulated box: what it
// prints, and the diagnostics page it renders, checked by its pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "dsc_sim.h"
#include "host_test_support.h"
#include "temp_config.h"
#include "test_blocks.h"

namespace {

using hosttest::Picture;
using hosttest::RunHost;
using hosttest::ShellQuote;

const Picture::Pixel kDarkGrey{64, 64, 64};
const Picture::Pixel kWhite{255, 255, 255};
const Picture::Pixel kBlack{0, 0, 0};

std::string HostArgs(const testsupport::TempConfigDir& config) {
  return "--scripted --plugin " + ShellQuote(CONTROLLER_PLUG_PATH) + " --config " +
         ShellQuote(config.Path().string());
}

class HostAgainstBox : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(hosttest::StartEquatorialBox(box_, config_)); }
  // The simulated telescope on a star from the moment the host connects.
  void AimAt(const char* name) {
    const astro::Star* star = astro::FindStar(name);
    ASSERT_NE(star, nullptr);
    const double now = astro::JulianDateNow();
    box_.SetConnectTime(now);
    box_.PointAt(star->ra, star->dec, now);
  }

  dscsim::Box box_;
  testsupport::TempConfigDir config_;
};

TEST_F(HostAgainstBox, ScriptedSessionReportsPositionsAndDrawsThePage) {
  AimAt("Vega");
  const std::string page = (config_.Path() / "page.png").string();
  const hosttest::Run run = RunHost(HostArgs(config_),
                                    "menu\nconnect\nreport on\nwatch 1.3\nposition\nadd Vega\n"
                                    "sight Vega\nadd Sirius\nsight Sirius\ncalibrate\npage " +
                                        page + "\ndisconnect\nquit\n");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.out.find("Registered \"Telescope\" (interface version 4); debug window 300 x 200"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("Connected."), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Position reports are on."), std::string::npos);
  EXPECT_NE(run.out.find("Telescope: RA 18h 3"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\n  RA 18h 3"), std::string::npos) << "reports watched:\n" << run.out;
  EXPECT_NE(run.out.find("near Vega"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("> Add to Calibrate List: Vega"), std::string::npos);
  EXPECT_NE(run.out.find("> Sight Object: Vega"), std::string::npos);
  EXPECT_NE(run.out.find("> Calibrate Telescope"), std::string::npos);
  // Both stars sighted with the telescope in one place: the solver's error
  // box, printed with its icon.
  EXPECT_NE(run.out.find("| (X) Calibration Failed"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Disconnected."), std::string::npos);
  // Before connecting the plug-in appends nothing to the object menu.
  EXPECT_NE(run.out.find("(nothing: not connected)"), std::string::npos);

  const Picture picture = hosttest::ReadPng(page);
  ASSERT_TRUE(picture.ok()) << page;
  EXPECT_EQ(picture.width, 300);
  EXPECT_EQ(picture.height, 200);
  // The header " ENCODER DEG ..." at (15, 15): white text on dark grey, and
  // nothing else in its cell.
  const int grey = picture.Count(15, 15, 200, 27, kDarkGrey);
  const int white = picture.Count(15, 15, 200, 27, kWhite);
  EXPECT_GT(grey, 1000);
  EXPECT_GT(white, 150);
  EXPECT_EQ(grey + white, 185 * 12);
  // Left of the header the window keeps its own black.
  EXPECT_EQ(picture.At(5, 20), kBlack);
  // The white line from (10, 65) to (285, 65), its end point not drawn; the
  // opaque cells of the texts at y = 55 (12 pixels high) are drawn after it
  // and cover it where they reach.
  EXPECT_EQ(picture.Count(10, 65, 65, 66, kWhite), 55);
  EXPECT_EQ(picture.At(285, 65), kBlack);
  EXPECT_EQ(picture.At(70, 65), kDarkGrey);
  // The calibration list: "* " marks the sighted first entry at (20, 70),
  // placeholders "3: ---------" from line 3 on.
  EXPECT_GT(picture.Count(20, 70, 30, 82, kWhite), 0);
  EXPECT_GT(picture.Count(25, 100, 80, 112, kWhite), 10);
  EXPECT_GT(picture.Count(25, 100, 80, 112, kDarkGrey), 100);
}

TEST_F(HostAgainstBox, BadInputGetsOneClearLineAndTheHostGoesOn) {
  const hosttest::Run run =
      RunHost(HostArgs(config_),
              "add Nosuchstar\nport COM2 /dev/no-such-port\nfrobnicate\nconnect\n"
              "add Nosuchstar\nsight\nwatch x\nquit\n");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.out.find("No star named 'Nosuchstar' in the catalogue"), std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("No such port: /dev/no-such-port"), std::string::npos);
  EXPECT_NE(run.out.find("Unknown command 'frobnicate'"), std::string::npos);
  EXPECT_NE(run.out.find("Name a star"), std::string::npos);
  EXPECT_NE(run.out.find("watch takes a number of seconds."), std::string::npos);
  EXPECT_NE(run.out.find("Connected."), std::string::npos) << "the host went on";
}

TEST(HostProgram, BoxAndPlugInDefaultsAgree) {
  // A first session: an empty profile and a box left at its defaults.
  dscsim::Box box;
  ASSERT_TRUE(box.Start());
  box.SetPacing(false);
  testsupport::TempConfigDir config;
  config.LinkPort("COM1", box.SlavePath());
  const astro::Star* vega = astro::FindStar("Vega");
  ASSERT_NE(vega, nullptr);
  const double now = astro::JulianDateNow();
  box.SetConnectTime(now);
  box.PointAt(vega->ra, vega->dec, now);
  const hosttest::Run run = RunHost(HostArgs(config), "connect\nposition\nstars -5\nquit\n");
  EXPECT_NE(run.out.find("near Vega (0."), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("stars takes a whole number of stars, 1 or more, not '-5'."),
            std::string::npos)
      << run.out;
}

TEST_F(HostAgainstBox, ObjectCommandsNeedAConnection) {
  const hosttest::Run run = RunHost(HostArgs(config_), "add Vega\ncalibrate\nquit\n");
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_NE(run.out.find("The object menu offers no such command (connect first)."),
            std::string::npos)
      << run.out;
}

TEST_F(HostAgainstBox, PortThatDoesNotExistIsTheCommErrorBoxOnly) {
  config_.LinkPort("COM1", "/dev/no-such-device");
  const hosttest::Run run = RunHost(HostArgs(config_), "connect\nquit\n");
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_NE(run.out.find("Not connected."), std::string::npos) << run.out;
}

TEST(HostProgram, MissingPluginIsOneLineAndACleanExit) {
  const hosttest::Run run = RunHost("--scripted --plugin /no/such/Controller.plug", "quit\n");
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.err.rfind("velastra-host: cannot load plug-in /no/such/Controller.plug", 0), 0u)
      << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
}

TEST(HostProgram, PluginWithoutEntryPointIsRefused) {
  // A shared object that is not the plug-in: the C library itself.
  const hosttest::Run run = RunHost("--scripted --plugin libc.so.6", "quit\n");
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.err.find("has no DoOperation entry point"), std::string::npos) << run.err;
}

TEST(HostProgram, ProfileThatCannotBeWrittenIsOneLineAndTheHostGoesOn) {
  const hosttest::Run run = RunHost(
      "--scripted --plugin " + ShellQuote(CONTROLLER_PLUG_PATH) + " --config /dev/null/velastra",
      "quit\n");
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_NE(run.err.find("/dev/null/velastra"), std::string::npos) << run.err;
  EXPECT_NE(run.out.find("Registered \"Telescope\""), std::string::npos);
}

// The host names the folder the plug-in reads: a relative XDG_CONFIG_HOME
// is ignored by both, as the XDG rules ask.
TEST(HostProgram, TheConfigurationFolderIsThePlugInsOwn) {
  testsupport::TempConfigDir home;
  testsupport::ScopedEnv own("VELASTRA_CONFIG_DIR", nullptr);
  testsupport::ScopedEnv xdg("XDG_CONFIG_HOME", "relative/ignored");
  testsupport::ScopedEnv user("HOME", home.Path().c_str());
  const hosttest::Run run =
      RunHost("--scripted --plugin " + ShellQuote(CONTROLLER_PLUG_PATH), "quit\n");
  const std::string folder = (home.Path() / ".config/velastra").string();
  EXPECT_NE(run.out.find("configuration in " + folder + "\n"), std::string::npos) << run.out;
}

TEST(HostProgram, HelpListsEveryOption) {
  const hosttest::Run run = RunHost("--help", "");
  EXPECT_EQ(run.exit_code, 0);
  for (const char* option : {"--demo", "--port", "--out", "--plugin", "--lat", "--lon", "--config",
                             "--log", "--scripted", "--no-page", "--version", "--help",
                             "--check-port", "--pressure", "--temperature", "--no-refraction"}) {
    EXPECT_NE(run.out.find(option), std::string::npos) << option;
  }
  const hosttest::Run bad = RunHost("--lat 95", "");
  EXPECT_EQ(bad.exit_code, 2);
  EXPECT_NE(bad.err.find("--lat"), std::string::npos);
  const hosttest::Run thin_air = RunHost("--pressure -5", "");
  EXPECT_EQ(thin_air.exit_code, 2);
  EXPECT_NE(thin_air.err.find("--pressure"), std::string::npos);
}

TEST_F(HostAgainstBox, ReconnectingAsksForTheReferencePointAndAResolutionMakesTheFitStale) {
  AimAt("Vega");
  const hosttest::Run run =
      RunHost(HostArgs(config_),
              "connect\nadd Vega\ndisconnect\nconnect\nsight Vega\nadd Sirius\nsight Sirius\n"
              "configure\nc 4096\nok\nquit\n");
  EXPECT_NE(run.out.find("The encoders count from where the telescope points when the link "
                         "opens: point it at the reference point (RA 02h 32m"),
            std::string::npos)
      << run.out;
  // Only the second connect has a calibration list to keep.
  const std::size_t kept = run.out.find("The calibration made before is kept; it holds only if");
  EXPECT_NE(kept, std::string::npos) << run.out;
  EXPECT_GT(kept, run.out.find("Disconnected.")) << run.out;
  // Sirius is far from where the telescope points (on Vega).
  EXPECT_NE(run.out.find("Warning: the telescope points "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(" from Sirius ("), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find(" from Vega ("), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("The resolutions changed: the calibration made before no longer fits"),
            std::string::npos)
      << run.out;
}

TEST_F(HostAgainstBox, APulledCableIsToldOnceWithHowToResume) {
  std::thread pull([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    box_.Unplug();
  });
  const hosttest::Run run = RunHost(HostArgs(config_), "connect\nreport on\nwait 3\nquit\n");
  pull.join();
  const std::string note = "The box answered well when the link opened; is its cable still in?";
  const std::size_t first = run.out.find(note);
  ASSERT_NE(first, std::string::npos) << run.out;
  EXPECT_EQ(run.out.find(note, first + 1), std::string::npos) << "told once:\n" << run.out;
  EXPECT_LT(run.out.find("Comm Error"), first) << run.out;
}

// The demonstration end to end: five calibration stars well apart and a
// further one, every error small with the mount model after calibration and
// through the night, and its own temporary folder gone at the end.
TEST(HostProgram, DemoCalibratesWellAndRemovesItsFolder) {
  // The demo's sky is that of a pinned time, so that which stars it takes
  // does not depend on when the test runs.
  testsupport::ScopedEnv clock("VELASTRA_CLOCK", "2026-12-09T05:05:00Z");
  const hosttest::Run run = RunHost("--demo --plugin " + ShellQuote(CONTROLLER_PLUG_PATH), "");
  ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
  // The six coefficients' result box, a line for each coefficient.
  for (const char* line : {"| RA: ", "| RB: ", "| RC: ", "| DA: ", "| DB: ", "| DC: "}) {
    EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n" << run.out;
  }
  const std::size_t table = run.out.find("error before   six coefficients   mount model");
  ASSERT_NE(table, std::string::npos) << run.out;
  std::istringstream lines(run.out.substr(table));
  std::string line;
  std::getline(lines, line);
  std::vector<std::string> names;
  for (int i = 0; i < 6 && std::getline(lines, line); ++i) {
    std::istringstream row(line);
    std::string name, before, axes, mount;
    row >> name >> before >> axes >> mount;
    names.push_back(name);
    EXPECT_LT(std::stod(mount), 5.0) << line;
    EXPECT_GT(std::stod(before), std::stod(mount)) << line;
    EXPECT_EQ(line.find("(not a calibration star)") != std::string::npos, i == 5) << line;
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(std::unique(names.begin(), names.end()), names.end()) << run.out;
  // Through the night with the mount model (a star crossing the azimuth
  // counter's seam may show its arc).
  int nights = 0;
  for (std::size_t at = 0; (at = run.out.find("(mount model)", at)) != std::string::npos; ++at) {
    const std::size_t worst = run.out.find("worst error ", at);
    ASSERT_NE(worst, std::string::npos);
    EXPECT_LT(std::stod(run.out.substr(worst + 12)), 60.0) << run.out.substr(at - 14, 60);
    ++nights;
  }
  EXPECT_EQ(nights, 6) << run.out;
  // Each slew ends on its star: a report right after it is near that star.
  static const std::regex kArrival(
      R"(the telescope is on ([A-Za-z ]+)\n  position report: [^\n]* near ([A-Za-z ]+) \()");
  int arrivals = 0;
  for (std::sregex_iterator m(run.out.begin(), run.out.end(), kArrival), end; m != end; ++m) {
    EXPECT_EQ((*m)[2].str(), (*m)[1].str());
    ++arrivals;
  }
  EXPECT_GE(arrivals, 1);
  const std::size_t removed = run.out.find("Removed the demo's folder ");
  ASSERT_NE(removed, std::string::npos) << run.out;
  const std::string folder =
      run.out.substr(removed + 26, run.out.find(' ', removed + 26) - removed - 26);
  EXPECT_NE(folder.find("/velastra-demo-"), std::string::npos) << folder;
  EXPECT_FALSE(std::filesystem::exists(folder)) << folder;
  if (::testing::Test::HasFailure()) ADD_FAILURE() << run.out;
}

// A push-to tells how far to move once a second while the host waits.
TEST_F(HostAgainstBox, APushToTellsHowFarToMoveOnceASecond) {
  AimAt("Vega");
  const hosttest::Run run =
      RunHost(HostArgs(config_), "connect\ngoto Arcturus\nwait 4.5\ngoto\nquit\n");
  int told = 0;
  for (std::size_t at = 0; (at = run.out.find("To Arcturus: ", at)) != std::string::npos; ++at) {
    ++told;
  }
  EXPECT_GE(told, 4) << run.out;
  EXPECT_LE(told, 6) << run.out;
}

// A folder of the person's own (--out) stays, with what was in it, even when
// the demo cannot start.
TEST(HostProgram, TheDemoNeverRemovesAFolderOfThePersonsOwn) {
  testsupport::TempConfigDir folder;
  const std::filesystem::path out = folder.Path() / "mine";
  std::filesystem::create_directories(out);
  std::ofstream(out / "notes.txt") << "mine\n";
  const hosttest::Run run = RunHost("--demo --out " + ShellQuote(out.string()) + " --plugin " +
                                        ShellQuote((folder.Path() / "none.plug").string()),
                                    "");
  EXPECT_NE(run.exit_code, 0);
  EXPECT_TRUE(std::filesystem::exists(out / "notes.txt")) << run.out << run.err;
  EXPECT_EQ(run.out.find("Removed the demo's folder"), std::string::npos) << run.out;
}

// --port names the box's device: the profile's port is linked to it and the
// guided session begins.
TEST_F(HostAgainstBox, APortOptionLinksThePortAndBeginsTheGuidedSession) {
  const hosttest::Run run =
      RunHost(HostArgs(config_) + " --port " + ShellQuote(box_.SlavePath()), "quit\n");
  EXPECT_NE(run.out.find("== Guided session: calibrate the telescope with 4 stars"),
            std::string::npos)
      << run.out;
}

}  // namespace
