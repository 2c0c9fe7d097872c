// The calibration solver on angles anywhere on the circle: fits accurate on
// consistent data wherever the points cluster, a guard that refuses what
// rounding would decide, the same coefficients as the plain normal
// equations where those are well conditioned, and objects either side of
// 0/2π fitted on one branch.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "calibration/calibration.h"
#include "plugin/plugin.h"
#include "pointing/pointing.h"
#include "temp_config.h"
#include "test_blocks.h"
#include "window_system_model.h"

namespace {

using ctl::kPi;
using ctl::kTwoPi;

ctl::PointTable Table(const std::vector<double>& x, const std::vector<double>& y) {
  ctl::PointTable t;
  t.x[0] = static_cast<double>(x.size());
  for (std::size_t i = 0; i < x.size(); ++i) {
    t.x[i + 1] = x[i];
    t.y[i + 1] = y[i];
  }
  return t;
}

// The normal equations of a parabola summed over the raw angles and solved
// by Cramer's rule as written: the reference where they are well conditioned.
std::vector<double> PlainParabola(const std::vector<double>& x, const std::vector<double>& y) {
  double n = static_cast<double>(x.size()), s1 = 0, s2 = 0, s3 = 0, s4 = 0, t0 = 0, t1 = 0, t2 = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    const double t = x[i] * x[i];
    s1 += x[i], s2 += t, s3 += x[i] * t, s4 += t * t;
    t0 += y[i], t1 += x[i] * y[i], t2 += t * y[i];
  }
  const double det = n * s2 * s4 + 2 * s1 * s2 * s3 - s2 * s2 * s2 - s1 * s1 * s4 - n * s3 * s3;
  return {
      (n * s2 * t2 + s1 * s3 * t0 + s1 * s2 * t1 - s2 * s2 * t0 - s1 * s1 * t2 - n * s3 * t1) / det,
      (n * s4 * t1 + s1 * s2 * t2 + s2 * s3 * t0 - s2 * s2 * t1 - s1 * s4 * t0 - n * s3 * t2) / det,
      (s2 * s4 * t0 + s2 * s3 * t1 + s1 * s3 * t2 - s2 * s2 * t2 - s1 * s4 * t1 - s3 * s3 * t0) /
          det};
}

class CalibrationWrapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ctl::ResetState();
    wsm::Reset();
    ctl::State().connected = 1;
  }
  void TearDown() override { ctl::ResetState(); }

  // Objects sighted at the given encoder angles (first axis; the second
  // axis gets a harmless spread of its own), each after the drift given
  // (none when not), then calibrated.
  static void Calibrate(const std::vector<double>& encoder, const std::vector<double>& catalogue,
                        const std::vector<double>& drift = {}) {
    for (std::size_t i = 0; i < encoder.size(); ++i) {
      const std::string name = "star" + std::to_string(i);
      auto block = testsupport::ObjectMenuBlock(20002, name, catalogue[i], 0.1 * i);
      DoOperation(15, reinterpret_cast<std::uintptr_t>(block.data()));
      if (i < drift.size()) ctl::State().host_time.day_number = drift[i] / kTwoPi;
      ASSERT_GE(ctl::SightCalibrationEntry(name.c_str(), encoder[i], 0.1 * i + 0.01), 0);
    }
    DoOperation(30, 0);
  }
  // The first-axis correction of an uncorrected angle, taken on the branch
  // the calibration chose, as an angle in [0, 2π).
  static double Corrected(double x) {
    const ctl::PluginState& s = ctl::State();
    while (x < s.branch.cut1) x += kTwoPi;
    while (x > s.branch.cut1 + kTwoPi) x -= kTwoPi;
    const double y = (s.pointing.RA * x) * x + s.pointing.RB * x + s.pointing.RC;
    return std::fmod(std::fmod(y, kTwoPi) + kTwoPi, kTwoPi);
  }
  static double AngleBetween(double a, double b) {
    return std::fabs(std::remainder(a - b, kTwoPi));
  }
};

TEST_F(CalibrationWrapTest, ConsistentDataIsFittedWithinANanoradianAnywhereOrRefused) {
  std::mt19937_64 random(20261209);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  int fitted = 0, refused = 0;
  for (int trial = 0; trial < 20000; ++trial) {
    const int n = 2 + static_cast<int>(unit(random) * 7);
    // A cluster anywhere on the circle, from a few arcseconds to a turn wide,
    // sometimes with two points almost on top of each other.
    const double centre = unit(random) * kTwoPi;
    const double width = std::pow(10.0, -5.0 + 5.8 * unit(random));
    std::vector<double> x(n), y(n);
    for (int i = 0; i < n; ++i)
      x[i] = std::fmin(kTwoPi, std::fmax(0.0, centre + width * (unit(random) - 0.5)));
    if (unit(random) < 0.2) x[1] = x[0] + width * std::pow(10.0, -9.0 * unit(random));
    const double a = n == 2 ? 0.0 : 0.05 * (unit(random) - 0.5);
    const double b = 1.0 + 0.04 * (unit(random) - 0.5);
    const double c = 0.05 * (unit(random) - 0.5);
    for (int i = 0; i < n; ++i) y[i] = (a * x[i] + b) * x[i] + c;
    const ctl::PointTable table = Table(x, y);
    double fa = 0.0, fb = 0.0, fc = 0.0;
    const int ok = n == 2 ? ctl::FitLine(table, fb, fc) : ctl::FitQuadratic(table, fa, fb, fc);
    if (ok == 0) {
      ++refused;
      continue;
    }
    ++fitted;
    double low = x[0], high = x[0];
    for (double v : x) low = std::fmin(low, v), high = std::fmax(high, v);
    for (int k = 0; k <= 16; ++k) {
      const double v = low + (high - low) * k / 16.0;
      const double exact = (a * v + b) * v + c;
      ASSERT_NEAR((fa * v + fb) * v + fc, exact, 1e-9)
          << "n " << n << " centre " << centre << " width " << width << " trial " << trial;
    }
  }
  std::printf("[ fits ] %d fitted within 1e-9 rad, %d refused\n", fitted, refused);
  EXPECT_GT(fitted, 15000);
  EXPECT_TRUE(wsm::TheLog().boxes.empty());
}

TEST_F(CalibrationWrapTest, TheCasesRoundingSpoiltAreFittedExactly) {
  // Three collinear points near 3 rad.
  double a = 1.0, b = 0.0, c = 0.0;
  ASSERT_EQ(ctl::FitQuadratic(Table({2.98, 3.00, 3.02}, {2.97, 2.99, 3.01}), a, b, c), 1);
  EXPECT_NEAR((a * 3.00 + b) * 3.00 + c, 2.99, 1e-12);
  EXPECT_NEAR(a, 0.0, 1e-9);
  // Objects clustered near 23h on a consistent line.
  const std::vector<double> x = {5.95, 5.99, 6.02, 6.07, 6.11};
  std::vector<double> y;
  for (double v : x) y.push_back(1.003 * v - 0.02);
  ASSERT_EQ(ctl::FitQuadratic(Table(x, y), a, b, c), 1);
  EXPECT_NEAR(a, 0.0, 1e-9);
  EXPECT_NEAR(b, 1.003, 1e-8);
  EXPECT_NEAR(c, -0.02, 1e-7);
}

TEST_F(CalibrationWrapTest, WellConditionedFitsGiveThePlainFormulasCoefficients) {
  const std::vector<double> x = {0.61, 1.17, 1.93, 2.48};
  const std::vector<double> y = {0.65, 1.19, 1.99, 2.46};
  double a = 0.0, b = 0.0, c = 0.0;
  ASSERT_EQ(ctl::FitQuadratic(Table(x, y), a, b, c), 1);
  const std::vector<double> plain = PlainParabola(x, y);
  EXPECT_NEAR(a, plain[0], 1e-12);
  EXPECT_NEAR(b, plain[1], 1e-12);
  EXPECT_NEAR(c, plain[2], 1e-12);

  // Through the command: the same six-decimal result box, and no angle
  // moved where none lies across 0/2π.
  Calibrate(x, y);
  ASSERT_EQ(wsm::TheLog().boxes.size(), 1u);
  char first_lines[128];
  std::snprintf(first_lines, sizeof first_lines, "RA: %f\nRB: %f\nRC: %f\n", plain[0], plain[1],
                plain[2]);
  EXPECT_EQ(wsm::TheLog().boxes[0].text.substr(0, std::string(first_lines).size()), first_lines);
  EXPECT_EQ(ctl::State().pointing.RA, a);
  EXPECT_EQ(ctl::State().pointing.RB, b);
  EXPECT_EQ(ctl::State().pointing.RC, c);
}

// Polaris in azimuth: a 0.6 degree encoder offset puts its encoder reading
// just past north (0.4 degrees) while its azimuth is 359.8 degrees.
TEST_F(CalibrationWrapTest, AnObjectWhoseAnglesLieEitherSideOfNorthIsFittedOnOneBranch) {
  const double offset = 0.6 * kPi / 180.0;
  const double polaris = 359.8 * kPi / 180.0, other = 3.0;
  Calibrate({std::fmod(polaris + offset, kTwoPi), other + offset}, {polaris, other});
  ASSERT_EQ(wsm::TheLog().boxes.size(), 1u);
  EXPECT_EQ(wsm::TheLog().boxes[0].caption, "Telecope Calibrated");
  EXPECT_NEAR(ctl::State().pointing.RB, 1.0, 1e-12);
  EXPECT_LT(AngleBetween(Corrected(other + offset), other), 1e-12);
  EXPECT_LT(AngleBetween(Corrected(std::fmod(polaris + offset, kTwoPi)), polaris), 1e-12);
}

// Objects either side of 0h on an equatorial mount with a scale error: their
// encoder angles straddle 0/2π too.  Four objects give the parabola, the
// middle two the line.
TEST_F(CalibrationWrapTest, ObjectsEitherSideOfZeroHoursAreFittedOnOneBranch) {
  const std::vector<double> four = {22.6 * kPi / 12, 23.7 * kPi / 12, 0.4 * kPi / 12,
                                    1.8 * kPi / 12};
  auto encode = [](double r) {
    const double t = std::remainder(r - 0.66, kTwoPi);  // the axis turn from the reference
    return std::fmod(0.66 + 1.012 * t + 0.021 + kTwoPi, kTwoPi);
  };
  for (const std::vector<double>& ra :
       {four, std::vector<double>(four.begin() + 1, four.end() - 1)}) {
    SetUp();
    std::vector<double> encoder;
    for (double r : ra) encoder.push_back(encode(r));
    Calibrate(encoder, ra);
    ASSERT_EQ(wsm::TheLog().boxes.size(), 1u);
    EXPECT_EQ(wsm::TheLog().boxes[0].caption, "Telecope Calibrated");
    for (double r : {22.9, 23.99, 0.0, 0.01, 1.1, 2.0}) {
      const double target = r * kPi / 12;
      EXPECT_LT(AngleBetween(Corrected(encode(target)), target), 1e-9) << r << "h, " << ra.size();
    }
  }
}

// A link opened with the telescope half a turn from the reference point, on
// an encoder 1% off scale: the objects end a little under and a little over
// half a turn from their encoder angles, and still fit as one line.
TEST_F(CalibrationWrapTest, AZeroHalfATurnOffFitsLikeOneNearTheReference) {
  std::vector<double> encoder, sky;
  for (double turned : {-1.2, -0.4, 0.4, 1.2}) {
    encoder.push_back(0.4 + turned);
    sky.push_back(0.4 + kPi + 1.01 * turned);  // π - 0.012 to π + 0.012 from the encoder
  }
  Calibrate(encoder, sky);
  ASSERT_EQ(wsm::TheLog().boxes.size(), 1u);
  EXPECT_EQ(wsm::TheLog().boxes[0].caption, "Telecope Calibrated");
  EXPECT_NEAR(ctl::State().pointing.RB, 1.01, 1e-9);
  for (double turned : {-1.5, -0.8, 0.0, 0.9, 1.5}) {
    EXPECT_LT(AngleBetween(Corrected(0.4 + turned), 0.4 + kPi + 1.01 * turned), 1e-9) << turned;
  }
}

// Sightings on an equatorial mount left connected for more than a day: with
// each drift taken off, objects fall one or two turns below the others, and
// the fit still finds one line through all four.  First the first and last
// object fall two turns; then the first two turns and the next two one, so
// that only the last lies more than a turn from the lowest.
TEST_F(CalibrationWrapTest, SightingsTurnsApartAfterTheDriftFitOnOneLine) {
  const struct {
    std::vector<double> reduced, drift;
  } cases[] = {
      {{5.0, 2.0, 3.0, 5.5}, {8.0, 0.0, 0.5, 8.0}},
      {{5.5, 2.25, 4.75, 5.0}, {8.0, 5.0, 3.0, 0.0}},
  };
  for (const auto& c : cases) {
    SetUp();
    std::vector<double> encoder, sky;
    for (std::size_t i = 0; i < c.reduced.size(); ++i) {
      encoder.push_back(std::fmod(c.reduced[i] + c.drift[i], kTwoPi));
      sky.push_back(
          std::fmod(1.01 * c.reduced[i] + 0.02 + c.drift[i], kTwoPi));  // a 1% scale error
    }
    Calibrate(encoder, sky, c.drift);
    ASSERT_EQ(wsm::TheLog().boxes.size(), 1u);
    EXPECT_EQ(wsm::TheLog().boxes[0].caption, "Telecope Calibrated");
    EXPECT_NEAR(ctl::State().pointing.RA, 0.0, 1e-9) << c.reduced[0];
    EXPECT_NEAR(ctl::State().pointing.RB, 1.01, 1e-9) << c.reduced[0];
    EXPECT_NEAR(ctl::State().pointing.RC, 0.02, 1e-9) << c.reduced[0];
  }
}

// A position taken two days before or after the connect (the host's clock
// set back or left running) is turns off the fitted branch once its drift is
// off: it is corrected on the branch all the same.
TEST_F(CalibrationWrapTest, AnAngleTurnsOffTheFittedBranchIsCorrectedOnIt) {
  ctl::PluginState& s = ctl::State();
  s.pointing.RB = 1.01;
  s.pointing.RC = 0.02;
  s.branch.cut1 = 0.5;
  ctl::EncoderRecord record;
  record.angle1 = 0.8;
  for (double days : {-2.0, 0.0, 2.0}) {
    s.host_time.day_number = s.connect_time.day_number + days;
    double first = 0.0, second = 0.0;
    ctl::CorrectPosition(record, first, second);
    EXPECT_NEAR(first, 1.01 * 0.8 + 0.02, 1e-9) << days;
  }
}

// The catalogue angles are unwrapped about the circular mean of every
// object's difference (0, 3 and -2 here): the last one pulls it far enough
// that the second object's angle goes down a turn, to k = 5 - 2π, and the
// parabola through 1, k, 1 at encoder angles 1, 2, 3 is (2π - 4)(x - 2)² + k.
TEST_F(CalibrationWrapTest, TheUnwrappingMeanCountsEveryObject) {
  Calibrate({1.0, 2.0, 3.0}, {1.0, 5.0, 1.0});
  const double a = kTwoPi - 4.0, k = 5.0 - kTwoPi;
  EXPECT_NEAR(ctl::State().pointing.RA, a, 1e-12);
  EXPECT_NEAR(ctl::State().pointing.RB, -4.0 * a, 1e-12);
  EXPECT_NEAR(ctl::State().pointing.RC, 4.0 * a + k, 1e-12);
}

}  // namespace
