// The guided session and the demo with a real box, run against the simulated
// box on its pseudo-terminal as if it were the real device: a person (this
// test) reads each request in a tmux window, points the simulated telescope
// where it asks, and presses Enter.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "dsc_sim.h"
#include "host_test_support.h"
#include "temp_config.h"
#include "test_blocks.h"

namespace {

using hosttest::ShellQuote;

double Arcminutes(const std::string& text) { return std::atof(text.c_str()); }

// The sky of these sessions does not depend on when the tests run: the host
// and this test's simulated box both read a clock pinned to this time.
constexpr const char* kPinnedClock = "2026-12-09T05:05:00Z";

class RealBoxThroughPty : public ::testing::Test {
 protected:
  void SetUp() override { StartAt(kPinnedClock); }

  void StartAt(const std::string& clock) {
    clock_ = clock;
    setenv("VELASTRA_CLOCK", clock_.c_str(), 1);
    if (!hosttest::HaveTmux()) GTEST_SKIP() << "tmux is not installed (scripts/setup test)";
    ASSERT_TRUE(box_.Start());
    // Unpaced: on a loaded machine a paced answer can be cut short between
    // its bytes, and these sessions are about the sky, not the line.
    box_.SetPacing(false);
    // A telescope with a mount error; the box and the plug-in at their defaults.
    dscsim::SkyModel model = box_.GetSkyModel();
    model.axis1.zero_offset = 0.9 * astro::kDegree;
    model.axis1.scale_error = 0.01;
    model.axis2.zero_offset = -0.6 * astro::kDegree;
    model.axis2.scale_error = -0.008;
    box_.SetSkyModel(model);
    config_.LinkPort("COM1", "/dev/ttyUSB99");  // a stale link the session replaces
  }

  void TearDown() override { unsetenv("VELASTRA_CLOCK"); }

  std::string Host(const std::string& arguments) const {
    return "VELASTRA_CLOCK=" + clock_ + " " + std::string(VELASTRA_HOST_PATH) + " --plugin " +
           ShellQuote(CONTROLLER_PLUG_PATH) + " --config " + ShellQuote(config_.Path().string()) +
           " --port " + ShellQuote(box_.SlavePath()) + " " + arguments;
  }

  static int Count(const std::string& screen, const std::string& part) {
    int n = 0;
    for (std::size_t at = 0; (at = screen.find(part, at)) != std::string::npos; ++at) ++n;
    return n;
  }

  // Answers each request of the host until `done` shows: points the telescope
  // where the request says, then presses Enter; closes each message box.  The
  // number of requests.
  int FollowRequests(hosttest::Tmux& tmux, const std::string& done, int done_count = 1) {
    static const std::regex kRequest(
        R"((?:telescope|telescope again) at (the reference point|[A-Za-z ]+?)[ :(].*\(Enter: done)");
    const int answered_before = answered_;
    int& answered = answered_;
    int& boxes = boxes_;
    for (int step = 0; step < 30; ++step) {
      std::string screen;
      const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
      int requests = 0;
      while (std::chrono::steady_clock::now() < end) {
        screen = tmux.Screen();
        requests = Count(screen, "(Enter: done");
        if (Count(screen, "Press Enter for OK.") > boxes) break;
        if (requests > answered || Count(screen, done) >= done_count) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
      if (Count(screen, "Press Enter for OK.") > boxes) {
        ++boxes;
        tmux.Type("");
        continue;
      }
      if (requests <= answered) return answered - answered_before;
      const std::size_t line_end = screen.rfind("(Enter: done");
      const std::size_t line_start = screen.rfind('\n', line_end) + 1;
      const std::string line = screen.substr(line_start, line_end - line_start + 12);
      std::smatch m;
      if (!std::regex_search(line, m, kRequest)) {
        ADD_FAILURE() << "no place in the request: " << line;
        return answered - answered_before;
      }
      const double now = astro::JulianDateNow();
      if (m[1] == "the reference point") {
        box_.SetConnectTime(now);  // the encoders read 0 here when the link opens
        const dscsim::SkyModel model = box_.GetSkyModel();
        box_.PointAt(model.ref_ra, model.ref_dec, now);
      } else {
        const astro::Star* star = astro::FindStar(m[1].str());
        if (star == nullptr) {
          ADD_FAILURE() << "no star " << m[1] << " in: " << line;
          return answered - answered_before;
        }
        // The simulated person aims where the star is seen: its apparent place.
        const astro::Equatorial seen = dscsim::ApparentPlace(*star, now);
        box_.PointAt(seen.ra, seen.dec, now);
      }
      tmux.Type("");
      ++answered;
    }
    return answered - answered_before;
  }

  // The residuals of the fit and the check star's error, in arcminutes, as
  // the guided session printed them.
  static std::vector<double> Residuals(const std::string& screen) {
    std::vector<double> out;
    const std::size_t table = screen.find("Residuals of the fit at the calibration stars (each");
    if (table == std::string::npos) return out;
    static const std::regex kResidual(R"(\n  [A-Za-z][A-Za-z ]*? +([0-9.]+)'  +[-+][0-9.]+')");
    std::smatch m;
    std::string rest = screen.substr(table);
    while (std::regex_search(rest, m, kResidual)) {
      out.push_back(Arcminutes(m[1]));
      rest = m.suffix();
    }
    return out;
  }
  static double CheckError(const std::string& screen) {
    std::smatch m;
    if (!std::regex_search(screen, m, std::regex(R"(error at [A-Za-z ]+: ([0-9.]+)')"))) {
      return 1e9;
    }
    return Arcminutes(m[1]);
  }

  std::string clock_;
  dscsim::Box box_;
  testsupport::TempConfigDir config_;
  int answered_ = 0;  // requests answered so far
  int boxes_ = 0;     // message boxes closed so far
};

TEST_F(RealBoxThroughPty, GuidedSessionCalibratesAndChecks) {
  hosttest::Tmux tmux(Host(""), 120, 50);
  ASSERT_TRUE(tmux.started());
  // The reference point, four stars, the four again for their residuals, a
  // check star.
  EXPECT_EQ(FollowRequests(tmux, "Calibrated."), 10) << tmux.Screen();
  ASSERT_TRUE(tmux.WaitFor("Calibrated.")) << tmux.Screen();
  const std::string screen = tmux.Screen();
  EXPECT_NE(screen.find("COM1 is now " + box_.SlavePath()), std::string::npos) << screen;
  EXPECT_NE(screen.find(": ready."), std::string::npos) << screen;
  EXPECT_NE(screen.find("Connected."), std::string::npos) << screen;
  // Capella (5h 19m, +46°), Denebola (11h 50m, +14°), Procyon (7h 41m, +5°)
  // and Dubhe (11h 05m, +62°) at the pinned time.
  EXPECT_NE(screen.find("They span RA 05h-12h, Dec +5\u00b0 to +62\u00b0."), std::string::npos)
      << screen;
  EXPECT_NE(screen.find("Telecope Calibrated"), std::string::npos) << screen;

  // Before calibrating, the mount error shows; after, each residual and the
  // check star's error are what the encoders' steps leave.
  std::smatch m;
  std::string rest = screen;
  int before = 0;
  while (std::regex_search(rest, m, std::regex(R"(off by ([0-9.]+)')"))) {
    EXPECT_GT(Arcminutes(m[1]), 20.0) << m[0];
    ++before;
    rest = m.suffix();
  }
  EXPECT_EQ(before, 4) << screen;
  const std::vector<double> residuals = Residuals(screen);
  EXPECT_EQ(residuals.size(), 4u) << screen;
  for (const double r : residuals) EXPECT_LT(r, 8.0) << screen;
  EXPECT_LT(CheckError(screen), 10.0) << screen;

  // Again with three stars: connected already, so no reference point; the
  // earlier stars leave the list first, and the new fit is this session's.
  tmux.Type("guide 3");
  EXPECT_EQ(FollowRequests(tmux, "Calibrated.", 2), 7) << tmux.Screen();
  ASSERT_TRUE(tmux.WaitFor("> Remove from Calibrate List")) << tmux.Screen();
  const std::string again = tmux.Screen();
  EXPECT_EQ(again.find("Duplicate Object"), std::string::npos) << again;
  EXPECT_EQ(again.find("Not Found"), std::string::npos) << again;
  EXPECT_NE(again.find("(three stars: the quadratic passes through each"), std::string::npos)
      << again;

  // With the mount model: the session checks the dialog's box, says so, and
  // the plug-in's own result box is what shows of the fit.
  EXPECT_NE(again.find("Pointing model: six coefficients"), std::string::npos) << again;
  tmux.Type("guide 2 mount");
  EXPECT_EQ(FollowRequests(tmux, "Calibrated.", 3), 5) << tmux.Screen();
  const std::string mount = tmux.Screen();
  EXPECT_NE(mount.find("Pointing model: the mount model"), std::string::npos) << mount;
  EXPECT_NE(mount.find("Mount model fitted to 2 sighted objects."), std::string::npos) << mount;
  EXPECT_EQ(testsupport::ProfileKey(config_.ReadProfile(), "PointModel"), "MOUNT");
  tmux.Type("quit");
}

TEST_F(RealBoxThroughPty, DemoAsksForEveryPlaceAndMeasuresAgain) {
  const std::filesystem::path out = config_.Path() / "demo";
  // The window stays open after the demo ends, for the screen to be read.
  hosttest::Tmux tmux(Host("--demo --out " + ShellQuote(out.string())) + "; sleep 60", 120, 50);
  ASSERT_TRUE(tmux.started());
  // The reference point; four stars and a further one; all five again.
  EXPECT_EQ(FollowRequests(tmux, "Done."), 11) << tmux.Screen();
  ASSERT_TRUE(tmux.WaitFor("Done.")) << tmux.Screen();
  const std::string screen = tmux.Screen();
  const std::size_t reference = screen.find("Point the telescope at the reference point");
  const std::size_t connected = screen.find("Connected.");
  ASSERT_NE(reference, std::string::npos) << screen;
  EXPECT_LT(reference, connected) << "asked before connecting";
  EXPECT_NE(screen.find("Point the telescope again at"), std::string::npos) << screen;
  // Each row: error before (the mount error), error after (pointed again).
  std::smatch m;
  std::string rest = screen.substr(screen.find("error before"));
  int rows = 0;
  static const std::regex kRow(R"(\n  [A-Za-z][A-Za-z ]*? +([0-9.]+)' +([0-9.]+)')");
  while (std::regex_search(rest, m, kRow)) {
    EXPECT_GT(Arcminutes(m[1]), 20.0) << m[0];
    EXPECT_LT(Arcminutes(m[2]), 10.0) << m[0];
    ++rows;
    rest = m.suffix();
  }
  EXPECT_EQ(rows, 5) << screen;
  EXPECT_TRUE(std::filesystem::exists(out / "calibration-chart.png"));
  EXPECT_TRUE(std::filesystem::exists(out / "diagnostics-page.png"));
}

// The stars the guide chooses make a sound calibration whenever the session
// runs: one session at each hour of a day.
class GuidedSessionHour : public RealBoxThroughPty, public ::testing::WithParamInterface<int> {
 protected:
  void SetUp() override {
    char clock[32];
    std::snprintf(clock, sizeof clock, "2026-12-09T%02d:35:00Z", GetParam());
    StartAt(clock);
  }
};

TEST_P(GuidedSessionHour, TheChosenStarsCalibrate) {
  hosttest::Tmux tmux(Host(""), 120, 50);
  ASSERT_TRUE(tmux.started());
  EXPECT_EQ(FollowRequests(tmux, "Calibrated."), 10) << tmux.Screen();
  ASSERT_TRUE(tmux.WaitFor("Calibrated.")) << tmux.Screen();
  const std::string screen = tmux.Screen();
  const std::vector<double> residuals = Residuals(screen);
  EXPECT_EQ(residuals.size(), 4u) << screen;
  for (const double r : residuals) EXPECT_LT(r, 8.0) << clock_ << screen;
  EXPECT_LT(CheckError(screen), 10.0) << clock_ << screen;
  tmux.Type("quit");
}

INSTANTIATE_TEST_SUITE_P(EveryHour, GuidedSessionHour, ::testing::Range(0, 24));

}  // namespace
