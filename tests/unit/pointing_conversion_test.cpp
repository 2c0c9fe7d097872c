// Encoder counts to uncorrected sky angles, and the range rule.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "pointing/pointing.h"
#include "state/state.h"
#include "window_system_model.h"

namespace {

using ctl::kPi;
using ctl::kTwoPi;

constexpr double kRefRA = 0.665777659788;
constexpr double kRefDec = 1.55817662667;

class ConversionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ctl::ResetState();
    wsm::Reset();
    SetResolutions(4096, 4096);
  }
  void SetResolutions(std::int32_t ra, std::int32_t dec) {
    ctl::PluginState& s = ctl::State();
    s.settings.ResRA = ra;
    s.settings.ResDec = dec;
    s.RadPerCountRA = ctl::RadiansPerCount(ra);
    s.RadPerCountDec = ctl::RadiansPerCount(dec);
  }
  ctl::EncoderRecord Convert(double count1, double count2) {
    ctl::EncoderRecord record;
    record.count1 = count1;
    record.count2 = count2;
    record.status = 1234;
    ctl::ConvertEncoderCounts(record, ctl::State().settings);
    EXPECT_EQ(record.status, 1234) << "the status word is not the conversion's";
    return record;
  }
};

// ---- Equatorial mount ---------------------------------------------------------

TEST_F(ConversionTest, CountsOfZeroAtConnectTimeAreTheReferencePoint) {
  const auto r = Convert(0, 0);
  EXPECT_EQ(r.angle1, kRefRA);
  EXPECT_EQ(r.angle2, kRefDec);
  EXPECT_NEAR(r.angle1 * 12.0 / kPi, 2.5430833, 1e-7);
  EXPECT_NEAR(r.angle2 * 180.0 / kPi, 89.2769444, 1e-7);
  EXPECT_EQ(r.degrees1, 0.0);
  EXPECT_EQ(r.degrees2, 0.0);
}

TEST_F(ConversionTest, AQuarterDayAfterConnectingAddsAQuarterTurnToTheFirstAngleOnly) {
  ctl::State().connect_time.day_number = 2460000.0;
  ctl::State().host_time.day_number = 2460000.25;
  const auto r = Convert(0, 0);
  EXPECT_NEAR(r.angle1, kRefRA + kPi / 2.0, 1e-9);
  EXPECT_EQ(r.angle2, kRefDec);
}

TEST_F(ConversionTest, DriftIsOneTurnPerDayNotTheSiderealRate) {
  ctl::State().connect_time.day_number = 100.0;
  ctl::State().host_time.day_number = 100.0 + 1.0 / 24.0;  // one hour
  const auto r = Convert(0, 0);
  EXPECT_NEAR(r.angle1 - kRefRA, 15.0 * kPi / 180.0, 1e-9);
}

TEST_F(ConversionTest, QuarterTurnCountsMoveByAQuarterTurnAndReadNinetyDegrees) {
  ctl::State().settings.RefRA = 1.0;
  ctl::State().settings.RefDec = 0.2;
  const auto r = Convert(1024, -1024);
  EXPECT_DOUBLE_EQ(r.angle1, 1.0 + kPi / 2.0);
  EXPECT_DOUBLE_EQ(r.angle2, 0.2 - kPi / 2.0);
  EXPECT_EQ(r.degrees1, 90.0);
  EXPECT_EQ(r.degrees2, -90.0);
}

TEST_F(ConversionTest, QuarterTurnCountsBeforeTheRangeRule) {
  ctl::State().settings.RefRA = 1.0;
  ctl::State().settings.RefDec = 0.0;
  const auto r = Convert(1024, -1024);
  EXPECT_DOUBLE_EQ(r.angle1, 1.0 + kPi / 2.0);
  EXPECT_DOUBLE_EQ(r.angle2, -kPi / 2.0);
}

TEST_F(ConversionTest, NegativeFirstCountReadsOneWrapOfDegrees) {
  const auto r = Convert(-1024, 0);
  EXPECT_EQ(r.degrees1, 270.0);
  EXPECT_NEAR(r.angle1, kRefRA - kPi / 2.0 + kTwoPi, 1e-12);
}

TEST_F(ConversionTest, NegativeSecondCountDoesNotWrap) {
  const auto r = Convert(0, -2048);
  EXPECT_EQ(r.degrees2, -180.0);
}

TEST_F(ConversionTest, InvertedFirstAxisTurnsTheOtherWay) {
  SetResolutions(-4096, 4096);
  ctl::State().settings.RefRA = 3.0;
  const auto r = Convert(1024, 0);
  EXPECT_DOUBLE_EQ(r.angle1, 3.0 - kPi / 2.0);
  EXPECT_EQ(r.degrees1, 270.0);
}

TEST_F(ConversionTest, WorkedCountsWithOwnResolutions) {
  SetResolutions(4096, 8192);
  const auto r = Convert(1234, -567);
  EXPECT_DOUBLE_EQ(r.degrees1, 1234 * 360.0 / 4096);
  EXPECT_DOUBLE_EQ(r.degrees2, -567 * 360.0 / 8192);
  double a = 1234 * ctl::RadiansPerCount(4096) + kRefRA;
  double b = -567 * ctl::RadiansPerCount(8192) + kRefDec;
  ctl::NormaliseAngles(a, b);
  EXPECT_EQ(r.angle1, a);
  EXPECT_EQ(r.angle2, b);
}

// ---- Alt-azimuth mount --------------------------------------------------------

TEST_F(ConversionTest, AltAzimuthCountsOfZeroAreTheHorizonReferencePoint) {
  ctl::Settings& s = ctl::State().settings;
  s.MountType = ctl::kAltAzimuth;
  s.HorizonAz = -0.5;
  s.HorizonAlt = 0.7;
  const auto r = Convert(0, 0);
  EXPECT_DOUBLE_EQ(r.angle1, kTwoPi - 0.5);
  EXPECT_EQ(r.angle2, 0.7);
}

TEST_F(ConversionTest, AltAzimuthGetsNoDriftAndIgnoresTheReferencePoint) {
  ctl::PluginState& st = ctl::State();
  st.settings.MountType = ctl::kAltAzimuth;
  st.settings.HorizonAz = 2.0;
  st.settings.HorizonAlt = 0.3;
  st.connect_time.day_number = 10.0;
  st.host_time.day_number = 10.3;
  const auto r = Convert(1024, 1024);
  // 0.3 + π/2 is past the zenith: folded, and the azimuth 2 + π/2 goes half
  // a turn round.
  EXPECT_DOUBLE_EQ(r.angle2, kPi - (0.3 + kPi / 2.0));
  EXPECT_DOUBLE_EQ(r.angle1, (2.0 + kPi / 2.0) - kPi);
}

// ---- The range rule -----------------------------------------------------------

TEST(NormaliseAnglesTest, FirstAngleWrapsIntoZeroToTwoPiWithBothEnds) {
  double a = -0.1, b = 0.0;
  ctl::NormaliseAngles(a, b);
  EXPECT_EQ(a, -0.1 + kTwoPi);
  a = kTwoPi;
  ctl::NormaliseAngles(a, b);
  EXPECT_EQ(a, kTwoPi);
  a = 0.0;
  ctl::NormaliseAngles(a, b);
  EXPECT_EQ(a, 0.0);
  a = 3 * kTwoPi + 0.25;
  ctl::NormaliseAngles(a, b);
  EXPECT_EQ(a, ((3 * kTwoPi + 0.25) - kTwoPi - kTwoPi - kTwoPi)) << "the loop's own arithmetic";
}

TEST(NormaliseAnglesTest, PastTheNorthPoleFoldsBackAndMovesHalfATurn) {
  double a = 0.5, b = 1.8;
  ctl::NormaliseAngles(a, b);
  EXPECT_EQ(b, kPi - 1.8);
  EXPECT_EQ(a, 0.5 + kPi);
  a = 4.0, b = 1.8;
  ctl::NormaliseAngles(a, b);
  EXPECT_EQ(a, 4.0 - kPi);
  EXPECT_GE(a, 0.0);
  EXPECT_LE(a, kTwoPi);
  for (const double past : {1.8, -2.0}) {  // either pole: half a turn on from π is 0, not 2π
    a = kPi, b = past;
    ctl::NormaliseAngles(a, b);
    EXPECT_EQ(a, 0.0) << past;
  }
}

TEST(NormaliseAnglesTest, PastTheSouthPoleFoldsBackAndMovesHalfATurn) {
  double a = 1.0, b = -2.0;
  ctl::NormaliseAngles(a, b);
  EXPECT_EQ(b, -kPi + 2.0);
  EXPECT_EQ(a, 1.0 + kPi);
}

TEST(NormaliseAnglesTest, ThePolesThemselvesStay) {
  double a = 1.0, b = ctl::kHalfPi;
  ctl::NormaliseAngles(a, b);
  EXPECT_EQ(a, 1.0);
  EXPECT_EQ(b, ctl::kHalfPi);
  b = -ctl::kHalfPi;
  ctl::NormaliseAngles(a, b);
  EXPECT_EQ(a, 1.0);
  EXPECT_EQ(b, -ctl::kHalfPi);
}

TEST(NormaliseAnglesTest, EachFoldIsMadeOnceWithoutALoop) {
  // 5.0 is past the north pole; π - 5.0 is then past the south pole too, and
  // that second fold brings it to 5.0 - 2π.  No further fold follows.
  double a = 1.0, b = 5.0;
  ctl::NormaliseAngles(a, b);
  EXPECT_EQ(b, -kPi - (kPi - 5.0));
  EXPECT_DOUBLE_EQ(a, 1.0);  // moved by +π, then by -π
}

TEST(NormaliseAnglesTest, NonFiniteAnglesBecomeZeroAndTheRuleEnds) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (double bad : {inf, -inf, nan}) {
    double a = bad, b = 0.5;
    ctl::NormaliseAngles(a, b);
    EXPECT_EQ(a, 0.0);
    EXPECT_EQ(b, 0.5);
    a = 1.0, b = bad;
    ctl::NormaliseAngles(a, b);
    EXPECT_EQ(a, 1.0);
    EXPECT_EQ(b, 0.0);
  }
}

TEST(NormaliseAnglesTest, HugeFiniteAnglesEndInRange) {
  for (double huge : {1e300, -1e300, 1e17, -1e17, 4.5e15, -std::numeric_limits<double>::max()}) {
    double a = huge, b = 0.0;
    ctl::NormaliseAngles(a, b);
    EXPECT_GE(a, 0.0) << huge;
    EXPECT_LE(a, kTwoPi) << huge;
  }
  // Large but ordinary: the range rule's own steps, to the last bit.
  double stepped = 1e6;
  while (stepped > kTwoPi) stepped -= kTwoPi;
  double a = 1e6, b = 0.0;
  ctl::NormaliseAngles(a, b);
  EXPECT_EQ(a, stepped);
  a = 0.0, b = 1e300;  // folds once each way and ends
  ctl::NormaliseAngles(a, b);
  EXPECT_TRUE(std::isfinite(b));
}

TEST_F(ConversionTest, ZeroResolutionGivesFiniteAnglesAndNoDegrees) {
  SetResolutions(0, 0);
  const auto r = Convert(100, -100);
  EXPECT_TRUE(std::isfinite(r.angle1));
  EXPECT_TRUE(std::isfinite(r.angle2));
  EXPECT_EQ(r.degrees1, 0.0);
  EXPECT_EQ(r.degrees2, 0.0);
}

}  // namespace

namespace {

// A drift of a Julian date's worth of turns (a connect before the host's
// first time) still goes through the range rule's steps, to the last bit.
TEST(NormaliseAnglesTest, AJulianDatesDriftFollowsTheStepsExactly) {
  const double drift = (2460000.3 * 24.0) * (kPi / 12.0);
  double stepped = drift;
  while (stepped > kTwoPi) stepped -= kTwoPi;
  double a = drift, b = 0.0;
  ctl::NormaliseAngles(a, b);
  EXPECT_EQ(a, stepped);
}

}  // namespace
