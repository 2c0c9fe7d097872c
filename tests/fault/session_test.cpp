// A session through DoOperation, with the box behind the fault-injecting
// serial backend: the calibration across disconnecting and list changes,
// the debug page under a calibration, the window drawn into, and the
// owners of the dialog and its error box.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "calibration/calibration.h"
#include "platform/fault/fault_serial.h"
#include "plugin/plugin.h"
#include "pointing/pointing.h"
#include "temp_config.h"
#include "test_blocks.h"
#include "window_system_model.h"

namespace {

constexpr std::int32_t kCmdCalibrate = 20001;
constexpr std::int32_t kCmdAdd = 20002;
constexpr std::int32_t kCmdRemove = 20003;
constexpr std::int32_t kCmdSight = 20004;

void Command(std::int32_t command, const std::string& name, double ra = 0.0, double dec = 0.0) {
  auto block = testsupport::ObjectMenuBlock(command, name, ra, dec);
  DoOperation(15, reinterpret_cast<std::uintptr_t>(block.data()));
}

// Points the telescope: the box answers these counts from now on.
void Counts(int first, int second) {
  char answer[32];
  std::snprintf(answer, sizeof answer, "%+06d\t%+06d\r", first, second);
  plat::fault::SetAnswer('Q', answer);
}

// Operation 21: right ascension and declination.
std::pair<double, double> Telescope() {
  std::vector<std::uint8_t> record(400, 0);
  DoOperation(21, reinterpret_cast<std::uintptr_t>(record.data()));
  double ra, dec;
  std::memcpy(&ra, record.data() + 8, 8);
  std::memcpy(&dec, record.data() + 16, 8);
  return {ra, dec};
}

class Session : public ::testing::Test {
 protected:
  void SetUp() override {
    ctl::ResetState();
    wsm::Reset();
    plat::fault::Reset();
    plat::fault::SetAnswer('P', "000\r");
    Counts(0, 0);
    config_.WriteProfile("[ZazuvUzarDLL]\nResRA=4096\nResDec=4096\nPCode=OFF\n");
    std::vector<std::uint8_t> registration(801, 0);
    registration[0] = 4;
    DoOperation(0, reinterpret_cast<std::uintptr_t>(registration.data()));
    DoOperation(26, 0);
    ASSERT_EQ(ctl::State().connected, 1);
  }
  void TearDown() override { ctl::ResetState(); }

  // Adds an object at (ra, dec) and sights it with the box at these counts.
  static void AddAndSight(const std::string& name, double ra, double dec, int first, int second) {
    Command(kCmdAdd, name, ra, dec);
    Counts(first, second);
    Command(kCmdSight, name);
  }
  static const ctl::CalibrationEntry& Entry(int i) { return ctl::State().calibration.entries[i]; }
  // The line through the first-axis points of two entries.
  static void ExpectLineThrough(const ctl::CalibrationEntry& p, const ctl::CalibrationEntry& q) {
    const double slope = (q.catalogue1 - p.catalogue1) / (q.encoder1 - p.encoder1);
    const ctl::PointingCoefficients& c = ctl::State().pointing;
    EXPECT_EQ(c.RA, 0.0);
    EXPECT_NEAR(c.RB, slope, 1e-9);
    EXPECT_NEAR(c.RC, p.catalogue1 - slope * p.encoder1, 1e-9);
  }

  testsupport::TempConfigDir config_;
};

TEST_F(Session, TheCalibrationSurvivesDisconnectingAndReconnecting) {
  AddAndSight("Vega", 4.87, 0.67, 100, -50);
  AddAndSight("Deneb", 5.42, 0.79, 300, 40);
  AddAndSight("Altair", 5.19, 0.15, 700, -300);
  DoOperation(30, 0);
  const ctl::PointingCoefficients fitted = ctl::State().pointing;
  ASSERT_NE(fitted.RA, 0.0);
  Counts(300, 40);
  const auto before = Telescope();

  DoOperation(27, 0);
  ASSERT_EQ(ctl::State().connected, 0);
  DoOperation(26, 0);
  const ctl::PluginState& s = ctl::State();
  EXPECT_EQ(s.calibration.count, 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Entry(i).sighted, 1);
  EXPECT_EQ(s.pointing.RA, fitted.RA);
  EXPECT_EQ(s.pointing.DC, fitted.DC);
  const auto after = Telescope();
  EXPECT_EQ(after, before) << "the same counts give the same corrected position";
}

TEST_F(Session, ARemovedObjectAddedAgainIsAFreshUnsightedEntryWithTheHostsPosition) {
  AddAndSight("Vega", 4.87, 0.67, 100, -50);
  AddAndSight("Deneb", 5.42, 0.79, 300, 40);
  Command(kCmdRemove, "Vega");
  Command(kCmdAdd, "Vega", 4.90, 0.68);  // the host's position of it now
  ASSERT_EQ(ctl::State().calibration.count, 2);
  const ctl::CalibrationEntry& vega = Entry(1);
  EXPECT_STREQ(vega.name, "Vega");
  EXPECT_EQ(vega.sighted, 0);
  EXPECT_EQ(vega.catalogue1, 4.90);
  EXPECT_EQ(vega.catalogue2, 0.68);
  EXPECT_EQ(vega.encoder1, 0.0);
  EXPECT_EQ(vega.encoder2, 0.0);

  wsm::Reset();
  DoOperation(30, 0);
  ASSERT_EQ(wsm::TheLog().boxes.size(), 1u);
  EXPECT_EQ(wsm::TheLog().boxes[0].text, "Not all calibration objects have been sighted: Vega");
}

// Each calibration fits the whole list as it stands at that moment (the
// objects lie on one stretch of the circle and below the pole, where the fit
// takes the angles as they stand).
TEST_F(Session, CalibratingAgainAfterAddingRemovingOrResightingFitsTheListAsItIsNow) {
  AddAndSight("Vega", 0.87, 0.67, 100, -50);
  AddAndSight("Deneb", 1.22, 0.79, 300, -40);
  Command(kCmdCalibrate, "");
  ExpectLineThrough(Entry(0), Entry(1));

  AddAndSight("Altair", 1.79, 0.15, 700, -300);
  Command(kCmdCalibrate, "");
  const ctl::PointingCoefficients& c = ctl::State().pointing;
  for (int i = 0; i < 3; ++i) {  // a parabola through all three
    const double x = Entry(i).encoder1;
    EXPECT_NEAR(c.RA * x * x + c.RB * x + c.RC, Entry(i).catalogue1, 1e-9);
  }

  Command(kCmdRemove, "Vega");
  Command(kCmdCalibrate, "");
  ExpectLineThrough(Entry(0), Entry(1));

  const double sighted_before = Entry(0).encoder1;
  Counts(900, -40);
  Command(kCmdSight, "Deneb");
  ASSERT_NE(Entry(0).encoder1, sighted_before);
  Command(kCmdCalibrate, "");
  ExpectLineThrough(Entry(0), Entry(1));
}

TEST_F(Session, TheDebugPageShowsTheUncorrectedAnglesUnderACalibration) {
  DoOperation(2, 0x777);
  wsm::TheBehaviour().visible_windows.insert(0x777);
  ctl::State().pointing = {0.0, 1.1, 0.2, 0.0, 0.9, 0.05};
  const double uncorrected1 = ctl::State().settings.RefRA;  // counts 0: 0.67 rad
  const double uncorrected2 = ctl::State().settings.RefDec;
  const auto position = Telescope();
  EXPECT_NEAR(position.first, 1.1 * uncorrected1 + 0.2, 1e-12) << "the host gets the corrected";
  char first[16], second[16];
  std::snprintf(first, sizeof first, "%04.2f ", uncorrected1);
  std::snprintf(second, sizeof second, "%04.2f ", uncorrected2);
  bool saw_first = false, saw_second = false;
  for (const wsm::DrawCall& call : wsm::TextsDrawn()) {
    if (call.y != 40) continue;
    if (call.x == 110) saw_first = call.text == first;
    if (call.x == 145) saw_second = call.text == second;
  }
  EXPECT_TRUE(saw_first) << first;
  EXPECT_TRUE(saw_second) << second;
}

TEST_F(Session, DrawingGoesToTheWindowHandedOverLast) {
  wsm::TheBehaviour().visible_windows = {0xA1, 0xB2};
  auto drawn_into = [] {
    wsm::TheLog().draws.clear();
    Telescope();
    std::vector<wsm::Handle> windows;
    for (const wsm::DrawCall& call : wsm::TheLog().draws) {
      if (call.kind == wsm::DrawCall::kGetDC) windows.push_back(call.object);
    }
    return windows;
  };
  DoOperation(2, 0xA1);
  DoOperation(38, 0xB2);
  EXPECT_EQ(drawn_into(), std::vector<wsm::Handle>{0xB2});
  DoOperation(2, 0xA1);
  EXPECT_EQ(drawn_into(), std::vector<wsm::Handle>{0xA1});
  DoOperation(38, 0xC3);  // a window that is not showing
  EXPECT_TRUE(drawn_into().empty());
}

TEST_F(Session, TheDialogBelongsToTheFocusWindowAndOpensWithOkFocused) {
  wsm::TheBehaviour().focus = 0x5150;
  DoOperation(23, 0);
  EXPECT_EQ(wsm::TheLog().dialog_owner, 0x5150u);
  EXPECT_EQ(wsm::TheLog().dialog_initial_focus, 1) << "the OK button";
}

TEST_F(Session, TheDialogBoxErrorBelongsToTheFocusWindow) {
  wsm::TheBehaviour().focus = 0x5151;
  wsm::TheBehaviour().dialog_create_fails = true;
  DoOperation(23, 0);
  ASSERT_EQ(wsm::TheLog().boxes.size(), 1u);
  EXPECT_EQ(wsm::TheLog().boxes[0].caption, "Dialog Box Error");
  EXPECT_EQ(wsm::TheLog().boxes[0].owner, 0x5151u);
}

}  // namespace
