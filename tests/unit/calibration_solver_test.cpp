// The calibration solver: line and parabola fits, the coefficients they
// give, and the boxes of operation 30 and the "Calibrate Telescope" command.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "calibration/calibration.h"
#include "plugin/bytes.h"
#include "plugin/plugin.h"
#include "temp_config.h"
#include "test_blocks.h"
#include "window_system_model.h"

namespace {

constexpr std::uint32_t kCmdCalibrate = 20001;
constexpr std::uint32_t kCmdAdd = 20002;

void Command(std::uint32_t command, const std::string& name, double ra = 0.0, double dec = 0.0) {
  auto block =
      testsupport::ObjectMenuBlock(static_cast<std::int32_t>(command), name, ra, dec, 0x3C);
  DoOperation(15, reinterpret_cast<std::uintptr_t>(block.data()));
}

// An object on the list, sighted at the given encoder angles.
struct Sighted {
  const char* name;
  double encoder1, catalogue1;
  double encoder2, catalogue2;
};

bool SameCoefficients(const ctl::PointingCoefficients& a, const ctl::PointingCoefficients& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

class CalibrationSolverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ctl::ResetState();
    wsm::Reset();
    ctl::State().connected = 1;
  }
  void TearDown() override { ctl::ResetState(); }

  static void AddSighted(const std::vector<Sighted>& objects) {
    for (const Sighted& o : objects) {
      Command(kCmdAdd, o.name, o.catalogue1, o.catalogue2);
      ASSERT_GE(ctl::SightCalibrationEntry(o.name, o.encoder1, o.encoder2), 0);
    }
  }
  static void Calibrate() { DoOperation(30, 0); }
  static const ctl::PointingCoefficients& P() { return ctl::State().pointing; }
  static std::vector<wsm::MessageBoxCall>& Boxes() { return wsm::TheLog().boxes; }

  // Coefficients that no fit in these tests gives, to see that they stay.
  static void MarkCoefficients() {
    ctl::State().pointing = {0.125, 0.875, -0.25, 0.0625, 1.5, 0.75};
  }

  testsupport::TempConfigDir config_;
};

TEST_F(CalibrationSolverTest, CoefficientsStartAsTheIdentity) {
  EXPECT_EQ(P().RA, 0.0);
  EXPECT_EQ(P().RB, 1.0);
  EXPECT_EQ(P().RC, 0.0);
  EXPECT_EQ(P().DA, 0.0);
  EXPECT_EQ(P().DB, 1.0);
  EXPECT_EQ(P().DC, 0.0);
}

TEST_F(CalibrationSolverTest, TwoObjectsGiveTheLineThroughBoth) {
  MarkCoefficients();
  AddSighted({{"Castor", 1.0, 1.5, 0.2, 0.5}, {"Pollux", 2.0, 2.5, 0.6, 0.3}});
  Calibrate();
  EXPECT_EQ(P().RA, 0.0);
  EXPECT_DOUBLE_EQ(P().RB, 1.0);
  EXPECT_DOUBLE_EQ(P().RC, 0.5);
  EXPECT_EQ(P().DA, 0.0);
  EXPECT_NEAR(P().DB, -0.5, 1e-12);
  EXPECT_NEAR(P().DC, 0.6, 1e-12);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].caption, "Telecope Calibrated");
  EXPECT_EQ(Boxes()[0].text,
            "RA: 0.000000\nRB: 1.000000\nRC: 0.500000\nDA: 0.000000\nDB: -0.500000\nDC: 0.600000");
  EXPECT_EQ(Boxes()[0].style, 0x1040u) << "system-modal, information icon, OK button";
  EXPECT_EQ(Boxes()[0].owner, 0u);
}

TEST_F(CalibrationSolverTest, ThreeObjectsGiveTheParabolaThroughAll) {
  AddSighted({{"A", 0.0, 1.0, 0.5, 0.5}, {"B", 1.0, 2.0, 1.0, 1.0}, {"C", 2.0, 5.0, 1.5, 1.5}});
  Calibrate();
  EXPECT_NEAR(P().RA, 1.0, 1e-12);
  EXPECT_NEAR(P().RB, 0.0, 1e-12);
  EXPECT_NEAR(P().RC, 1.0, 1e-12);
  EXPECT_NEAR(P().DA, 0.0, 1e-12);
  EXPECT_NEAR(P().DB, 1.0, 1e-12);
  EXPECT_NEAR(P().DC, 0.0, 1e-12);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text.substr(0, 39), "RA: 1.000000\nRB: 0.000000\nRC: 1.000000\n");
}

// The least-squares parabola of many points, solved independently by
// Gaussian elimination in long double on the centred normal equations.
std::array<long double, 3> ReferenceParabola(const std::vector<double>& x,
                                             const std::vector<double>& y) {
  long double m[3][4] = {};
  for (std::size_t i = 0; i < x.size(); ++i) {
    const long double row[3] = {static_cast<long double>(x[i]) * x[i], x[i], 1.0L};
    for (int r = 0; r < 3; ++r) {
      for (int c = 0; c < 3; ++c) m[r][c] += row[r] * row[c];
      m[r][3] += row[r] * y[i];
    }
  }
  for (int p = 0; p < 3; ++p) {
    for (int r = p + 1; r < 3; ++r) {
      const long double f = m[r][p] / m[p][p];
      for (int c = p; c < 4; ++c) m[r][c] -= f * m[p][c];
    }
  }
  std::array<long double, 3> s{};
  for (int r = 2; r >= 0; --r) {
    long double v = m[r][3];
    for (int c = r + 1; c < 3; ++c) v -= m[r][c] * s[c];
    s[r] = v / m[r][r];
  }
  return s;
}

TEST_F(CalibrationSolverTest, EightObjectsGiveTheLeastSquaresParabola) {
  const std::vector<double> x = {0.3, 0.9, 1.4, 2.2, 2.9, 3.5, 4.4, 5.1};
  const std::vector<double> y = {0.41, 0.93, 1.52, 2.31, 2.88, 3.61, 4.39, 5.18};
  std::vector<Sighted> objects;
  static const char* names[] = {"a", "b", "c", "d", "e", "f", "g", "h"};
  for (std::size_t i = 0; i < x.size(); ++i) objects.push_back({names[i], x[i], y[i], y[i], x[i]});
  AddSighted(objects);
  Calibrate();
  const auto first = ReferenceParabola(x, y);
  const auto second = ReferenceParabola(y, x);
  EXPECT_NEAR(P().RA, static_cast<double>(first[0]), 1e-9);
  EXPECT_NEAR(P().RB, static_cast<double>(first[1]), 1e-9);
  EXPECT_NEAR(P().RC, static_cast<double>(first[2]), 1e-9);
  EXPECT_NEAR(P().DA, static_cast<double>(second[0]), 1e-9);
  EXPECT_NEAR(P().DB, static_cast<double>(second[1]), 1e-9);
  EXPECT_NEAR(P().DC, static_cast<double>(second[2]), 1e-9);
  EXPECT_NE(P().RA, 0.0) << "with three or more objects the quadratic term is fitted";
  // Calibrating leaves the list as it was.
  EXPECT_EQ(ctl::State().calibration.count, 8);
  EXPECT_EQ(ctl::State().calibration.entries[7].sighted, 1);
}

TEST_F(CalibrationSolverTest, AnUnsightedEntryIsNamedAndNothingChanges) {
  MarkCoefficients();
  const ctl::PointingCoefficients before = P();
  Command(kCmdAdd, "Vega", 1.0, 1.0);
  Command(kCmdAdd, "Deneb 50% %s", 2.0, 2.0);
  Command(kCmdAdd, "Altair", 3.0, 3.0);
  ctl::SightCalibrationEntry("Vega", 1.0, 1.0);
  ctl::SightCalibrationEntry("Altair", 3.0, 3.0);
  Calibrate();
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, "Not all calibration objects have been sighted: Deneb 50% %s");
  EXPECT_EQ(Boxes()[0].caption, "Calibration Failed");
  EXPECT_EQ(Boxes()[0].style, 0x1010u) << "system-modal, error icon, OK button";
  EXPECT_EQ(Boxes()[0].owner, 0u);
  EXPECT_TRUE(SameCoefficients(P(), before));
}

TEST_F(CalibrationSolverTest, OperationThirtyOnAnEmptyListShowsOneMissingDataBox) {
  MarkCoefficients();
  const ctl::PointingCoefficients before = P();
  Calibrate();
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text,
            "Insufficient calibration points selected. Cannot calibrate with less than 3.");
  EXPECT_EQ(Boxes()[0].caption, "Missing Calibration Data");
  EXPECT_EQ(Boxes()[0].style, 0x1010u);
  EXPECT_EQ(Boxes()[0].owner, wsm::TheBehaviour().focus);
  EXPECT_TRUE(SameCoefficients(P(), before));
}

TEST_F(CalibrationSolverTest, OperationThirtyWithOneSightedEntryAsksForThree) {
  AddSighted({{"Vega", 1.0, 1.1, 0.5, 0.6}});
  Calibrate();
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].caption, "Missing Calibration Data");
  EXPECT_EQ(Boxes()[0].text,
            "Insufficient calibration points selected. Cannot calibrate with less than 3.");
  EXPECT_TRUE(SameCoefficients(P(), ctl::PointingCoefficients{}));
}

TEST_F(CalibrationSolverTest, OperationThirtyWhileNotConnectedDoesNothing) {
  AddSighted({{"Castor", 1.0, 1.5, 0.2, 0.5}, {"Pollux", 2.0, 2.5, 0.6, 0.3}});
  ctl::State().connected = 0;
  Calibrate();
  EXPECT_TRUE(Boxes().empty());
  EXPECT_TRUE(SameCoefficients(P(), ctl::PointingCoefficients{}));
}

TEST_F(CalibrationSolverTest, CalibrateCommandNeedsTwoEntries) {
  AddSighted({{"Vega", 1.0, 1.1, 0.5, 0.6}});
  Command(kCmdCalibrate, "anything");
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, "You do not have enough obejects sighted.");
  EXPECT_EQ(Boxes()[0].caption, "Cannot Calibrate");
  EXPECT_EQ(Boxes()[0].style, 0x1030u) << "system-modal, warning icon, OK button";
  EXPECT_EQ(Boxes()[0].owner, 0u);
  EXPECT_TRUE(SameCoefficients(P(), ctl::PointingCoefficients{}));
  EXPECT_EQ(ctl::State().calibration.count, 1);
}

TEST_F(CalibrationSolverTest, CalibrateCommandWithAnUnsightedSecondEntryNamesIt) {
  AddSighted({{"Vega", 1.0, 1.1, 0.5, 0.6}});
  Command(kCmdAdd, "Deneb", 2.0, 2.0);
  Command(kCmdCalibrate, "anything");
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, "Not all calibration objects have been sighted: Deneb");
  EXPECT_EQ(Boxes()[0].caption, "Calibration Failed");
}

TEST_F(CalibrationSolverTest, CalibrateCommandWithTwoSightedEntriesFits) {
  AddSighted({{"Castor", 1.0, 1.5, 0.2, 0.5}, {"Pollux", 2.0, 2.5, 0.6, 0.3}});
  Command(kCmdCalibrate, "anything");
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].caption, "Telecope Calibrated");
  EXPECT_DOUBLE_EQ(P().RC, 0.5);
}

// ---- Fits that have no solution ---------------------------------------------

class SingularFitTest : public CalibrationSolverTest {
 protected:
  void ExpectRefused(const std::string& axis) {
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].caption, "Calibration Failed");
    EXPECT_EQ(Boxes()[0].text,
              "Cannot fit the " + axis +
                  " axis: the sighted objects' encoder angles on it are too few or too close "
                  "together (two objects need two different angles, three or more need three). "
                  "Sight "
                  "objects spread further apart and calibrate again. The telescope calibration "
                  "is unchanged.");
    EXPECT_EQ(Boxes()[0].style, 0x1010u);
    EXPECT_EQ(Boxes()[0].owner, 0u);
    EXPECT_TRUE(SameCoefficients(P(), marked_)) << "a refused fit changed the coefficients";
    for (double c : {P().RA, P().RB, P().RC, P().DA, P().DB, P().DC}) EXPECT_TRUE(std::isfinite(c));
  }
  void SetUp() override {
    CalibrationSolverTest::SetUp();
    MarkCoefficients();
    marked_ = P();
  }
  ctl::PointingCoefficients marked_;
};

TEST_F(SingularFitTest, TwoObjectsSharingTheFirstEncoderAngle) {
  AddSighted({{"Castor", 1.3, 1.5, 0.2, 0.5}, {"Pollux", 1.3, 2.5, 0.6, 0.3}});
  Calibrate();
  ExpectRefused("right ascension");
}

TEST_F(SingularFitTest, SecondAxisRefusalKeepsTheFirstAxisToo) {
  // The first axis fits well; the second has only two different angles.
  AddSighted({{"A", 0.5, 0.6, 0.7, 0.1}, {"B", 1.5, 1.4, 0.7, 0.2}, {"C", 2.5, 2.7, 0.9, 0.3}});
  Calibrate();
  ExpectRefused("declination");
}

TEST_F(SingularFitTest, ThreeObjectsAtOneAngleEvenWhenRoundingHidesTheZero) {
  // Sums of 0.7 and its powers do not cancel exactly in doubles.
  AddSighted({{"A", 0.7, 0.6, 0.1, 0.1}, {"B", 0.7, 1.4, 0.5, 0.2}, {"C", 0.7, 2.7, 0.9, 0.3}});
  Calibrate();
  ExpectRefused("right ascension");
}

TEST_F(SingularFitTest, AltAzimuthAxesAreNamedAsSuch) {
  ctl::State().settings.MountType = ctl::kAltAzimuth;
  ctl::CalibrationEntry entry;
  for (const char* name : {"A", "B"}) {
    std::strcpy(entry.name, name);
    entry.sighted = 1;
    entry.encoder1 = name[0] == 'A' ? 1.0 : 2.0;
    entry.catalogue1 = entry.encoder1;
    entry.encoder2 = 0.4;
    entry.catalogue2 = 0.5;
    ctl::AddCalibrationEntry(entry);
  }
  Calibrate();
  ExpectRefused("altitude");
}

// Whichever object's position is no number: the first, one between, the last.
TEST_F(SingularFitTest, PositionsThatAreNotNumbersAreRefused) {
  for (int bad = 0; bad < 3; ++bad) {
    ctl::State().calibration = ctl::CalibrationList{};
    wsm::Reset();
    std::vector<Sighted> objects = {
        {"A", 0.5, 0.6, 0.1, 0.1}, {"B", 1.5, 1.4, 0.5, 0.2}, {"C", 2.5, 2.7, 0.9, 0.3}};
    objects[bad].catalogue1 = std::numeric_limits<double>::quiet_NaN();
    AddSighted(objects);
    Calibrate();
    ASSERT_EQ(Boxes().size(), 1u) << bad;
    EXPECT_EQ(Boxes()[0].caption, "Calibration Failed");
    EXPECT_EQ(Boxes()[0].text,
              "Cannot fit the right ascension axis: the sighted positions give no finite result. "
              "Check the sighted objects and calibrate again. The telescope calibration is "
              "unchanged.")
        << bad;
    EXPECT_TRUE(SameCoefficients(P(), marked_));
  }
}

// ---- The fits themselves ------------------------------------------------------

TEST(FitTest, LineNeedsTwoPointsAndLeavesItsResultsOtherwise) {
  wsm::Reset();
  ctl::PointTable points;
  points.x[0] = 1.0;
  points.x[1] = 1.0;
  points.y[1] = 2.0;
  double slope = 7.0, intercept = 8.0;
  EXPECT_EQ(ctl::FitLine(points, slope, intercept), 0);
  EXPECT_EQ(slope, 7.0);
  EXPECT_EQ(intercept, 8.0);
  ASSERT_EQ(wsm::TheLog().boxes.size(), 1u);
  EXPECT_EQ(wsm::TheLog().boxes[0].text,
            "Insufficient calibration points selected. Cannot calibrate with less than 2.");
  EXPECT_EQ(wsm::TheLog().boxes[0].caption, "Missing Calibration Data");
  EXPECT_EQ(wsm::TheLog().boxes[0].owner, wsm::TheBehaviour().focus);
  EXPECT_EQ(wsm::TheLog().boxes[0].style, 0x1010u);
}

TEST(FitTest, QuadraticNeedsThreePointsAndLeavesItsResultsOtherwise) {
  wsm::Reset();
  ctl::PointTable points;
  points.x[0] = 2.0;
  points.x[1] = 1.0;
  points.x[2] = 2.0;
  double a = 7.0, b = 8.0, c = 9.0;
  EXPECT_EQ(ctl::FitQuadratic(points, a, b, c), 0);
  EXPECT_EQ(a, 7.0);
  EXPECT_EQ(b, 8.0);
  EXPECT_EQ(c, 9.0);
  ASSERT_EQ(wsm::TheLog().boxes.size(), 1u);
  EXPECT_EQ(wsm::TheLog().boxes[0].text,
            "Insufficient calibration points selected. Cannot calibrate with less than 3.");
}

TEST(FitTest, LineOfManyPointsIsTheLeastSquaresLine) {
  wsm::Reset();
  ctl::PointTable points;
  points.x[0] = 4.0;
  const double x[] = {0.0, 1.0, 2.0, 3.0}, y[] = {1.0, 3.0, 4.0, 7.0};
  for (int i = 0; i < 4; ++i) points.x[i + 1] = x[i], points.y[i + 1] = y[i];
  double slope = 0.0, intercept = 0.0;
  EXPECT_EQ(ctl::FitLine(points, slope, intercept), 1);
  EXPECT_NEAR(slope, 1.9, 1e-12);
  EXPECT_NEAR(intercept, 0.9, 1e-12);
  EXPECT_TRUE(wsm::TheLog().boxes.empty());
}

TEST(FitTest, SingularFitsRefuseWithoutABoxOfTheirOwn) {
  wsm::Reset();
  ctl::PointTable points;
  points.x[0] = 3.0;
  for (int i = 1; i <= 3; ++i) points.x[i] = 2.0, points.y[i] = i;
  double a = 7.0, b = 8.0, c = 9.0;
  EXPECT_EQ(ctl::FitQuadratic(points, a, b, c), 0);
  EXPECT_EQ(a, 7.0);
  points.x[0] = 2.0;
  EXPECT_EQ(ctl::FitLine(points, a, b), 0);
  EXPECT_EQ(b, 8.0);
  EXPECT_TRUE(wsm::TheLog().boxes.empty());
}

// Three encoder angles, two of them `gap` apart: too close together, rounding
// would make the curvature, and the fit is refused; a little farther apart
// the parabola goes through all three.
TEST(FitTest, AParabolaNeedsItsAnglesFarEnoughApart) {
  const auto parabola = [](double x) { return 0.5 * x * x + 0.25 * x + 0.125; };
  for (const auto& [gap, fits] : {std::pair{1e-3, false}, std::pair{3e-3, true}}) {
    wsm::Reset();
    ctl::PointTable points;
    points.x[0] = 3.0;
    const double x[] = {0.0, 1.0, 1.0 + gap};
    for (int i = 0; i < 3; ++i) points.x[i + 1] = x[i], points.y[i + 1] = parabola(x[i]);
    double a = 7.0, b = 8.0, c = 9.0;
    EXPECT_EQ(ctl::FitQuadratic(points, a, b, c), fits ? 1 : 0) << gap;
    EXPECT_NEAR(a, fits ? 0.5 : 7.0, 1e-6) << gap;
    EXPECT_NEAR(b, fits ? 0.25 : 8.0, 1e-6) << gap;
    EXPECT_NEAR(c, fits ? 0.125 : 9.0, 1e-6) << gap;
    EXPECT_TRUE(wsm::TheLog().boxes.empty());
  }
}

}  // namespace
