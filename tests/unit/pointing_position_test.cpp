// The corrected current position, from a query of the simulated box over a
// real pseudo-terminal.
#include <gtest/gtest.h>

#include <string>

#include "dsc_sim.h"
#include "link/link.h"
#include "plugin/position.h"
#include "pointing/pointing.h"
#include "temp_config.h"
#include "window_system_model.h"

namespace {

using ctl::kPi;

class PositionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ctl::ResetState();
    wsm::Reset();
    std::string error;
    ASSERT_TRUE(box_.Start(&error)) << error;
    box_.SetPacing(
        false);  // the wire's pace plays no part here; a loaded machine cuts no answer short
    config_.LinkPort("COM1", box_.SlavePath());
    ctl::State().settings.PCode = 0;
    ctl::ConnectPort();
    ASSERT_EQ(ctl::State().connected, 1);
  }
  void TearDown() override {
    if (ctl::State().port_open != 0) ctl::DisconnectPort();
    box_.Stop();
  }
  // The uncorrected angles of a query, as the conversion gives them.
  ctl::EncoderRecord Uncorrected() {
    ctl::EncoderRecord record;
    EXPECT_TRUE(ctl::QueryEncoders(record, ctl::State().settings));
    return record;
  }

  testsupport::TempConfigDir config_;
  dscsim::Box box_;
};

TEST_F(PositionTest, InitialCoefficientsLeaveTheQueryAnglesAsTheyAre) {
  box_.SetCounts(1234, -567);
  const auto record = Uncorrected();
  double first = -1.0, second = -1.0;
  ASSERT_TRUE(ctl::GetTelescopePosition(first, second));
  EXPECT_EQ(first, record.angle1);
  EXPECT_EQ(second, record.angle2);
}

TEST_F(PositionTest, AConstantTermOnTheFirstAxisAddsToIt) {
  box_.SetCounts(100, 0);
  const auto record = Uncorrected();
  ctl::State().pointing.RC = 0.1;
  double first = 0.0, second = 0.0;
  ASSERT_TRUE(ctl::GetTelescopePosition(first, second));
  EXPECT_DOUBLE_EQ(first, record.angle1 + 0.1);
  EXPECT_EQ(second, record.angle2);
}

TEST_F(PositionTest, ACorrectionPastThePoleFoldsBack) {
  ctl::State().settings.RefRA = 1.0;
  ctl::State().settings.RefDec = 1.5;
  ctl::State().pointing.DC = 0.2;
  double first = 0.0, second = 0.0;
  ASSERT_TRUE(ctl::GetTelescopePosition(first, second));
  EXPECT_DOUBLE_EQ(second, kPi - 1.7);
  EXPECT_DOUBLE_EQ(first, 1.0 + kPi);
}

TEST_F(PositionTest, TheQuadraticIsAppliedPerAxis) {
  ctl::State().settings.RefRA = 2.0;
  ctl::State().settings.RefDec = 0.5;
  ctl::PointingCoefficients& c = ctl::State().pointing;
  c = {0.01, 0.98, 0.02, -0.03, 1.01, -0.01};
  double first = 0.0, second = 0.0;
  ASSERT_TRUE(ctl::GetTelescopePosition(first, second));
  EXPECT_EQ(first, (0.01 * 2.0) * 2.0 + 0.98 * 2.0 + 0.02);
  EXPECT_EQ(second, (-0.03 * 0.5) * 0.5 + 1.01 * 0.5 + -0.01);
}

TEST_F(PositionTest, AFailedQueryGivesNoPositionAndLeavesTheOutParameters) {
  ASSERT_TRUE(box_.Unplug());
  double first = 123.0, second = 456.0;
  EXPECT_FALSE(ctl::GetTelescopePosition(first, second));
  EXPECT_EQ(first, 123.0);
  EXPECT_EQ(second, 456.0);
  ASSERT_EQ(wsm::TheLog().boxes.size(), 1u);
  EXPECT_EQ(wsm::TheLog().boxes[0].text, "Failed to send Q command.");
}

}  // namespace
