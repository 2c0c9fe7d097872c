// "Calibrate Telescope" on sightings of a mount built as geometry, counts
// through the plug-in's own conversion: the six-coefficient fit told when it
// cannot belong to the configured encoders, and the mount model through
// the position road, drift included.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "calibration/calibration.h"
#include "mount_geometry.h"
#include "pointing/pointing.h"
#include "window_system_model.h"

namespace {

using namespace mountgeo;
using Stars = std::vector<std::pair<double, double>>;  // sky RA, Dec, degrees

const Mount kPerfect{"perfect", 0, 0, 0, 0, 0, 0, 0.3, 0.1, true};
const Mount kPolar1{"polar 1°", 1 * kDeg, 200 * kDeg, 0.2 * kDeg, 0.3 * kDeg, 0, 0, 0.3, 0.1, true};
const Mount kPolar3Scale{
    "polar 3°, 1.5% scale", 3 * kDeg, 120 * kDeg, 0.2 * kDeg, 0.3 * kDeg, 0.015, 0, 0.3, 0.1, true};
const Stars kThree = {{-50, 10}, {20, 70}, {60, 20}};
const Stars kSharedDec = {{-60, 20}, {40, 20}, {0, 60}};
const Stars kSix = {{-70, 15}, {-30, 60}, {0, 5}, {30, 85}, {60, 30}, {100, 45}};

class CalibrationModelsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ctl::ResetState();
    wsm::Reset();
    ctl::PluginState& s = ctl::State();
    s.connected = 1;
    // Where the telescope pointed at connect, as the user set it: half a
    // degree from where the mounts' counters started.
    s.settings.RefRA = 0.3 + 0.01;
    s.settings.RefDec = 0.1 - 0.01;
    Resolutions(kResolution);
  }
  void TearDown() override { ctl::ResetState(); }
  static void Resolutions(int first) {
    ctl::PluginState& s = ctl::State();
    s.settings.ResRA = first;
    s.settings.ResDec = kResolution;
    s.RadPerCountRA = ctl::RadiansPerCount(first);
    s.RadPerCountDec = kRadPerCount;
  }
  static void At(double hours) { ctl::State().host_time.day_number = hours / 24.0; }
  // The box's record for where the mount points at a fixed-frame direction.
  static ctl::EncoderRecord Record(const Mount& m, V fixed) {
    ctl::EncoderRecord r;
    m.Counts(fixed, r.count1, r.count2);
    ctl::ConvertEncoderCounts(r, ctl::State().settings);
    return r;
  }
  // Each star listed and sighted, `step` hours after the one before; the
  // star `wrong` is sighted 20° off its place (on another star).
  static void Sight(const Mount& m, const Stars& stars, double step = 0.0, int wrong = -1) {
    for (std::size_t i = 0; i < stars.size(); ++i) {
      At(i * step);
      ctl::CalibrationEntry entry;
      const std::string name = "star" + std::to_string(i);
      std::snprintf(entry.name, sizeof entry.name, "%s", name.c_str());
      entry.catalogue1 = std::fmod(stars[i].first + 360.0, 360.0) * kDeg;
      entry.catalogue2 = stars[i].second * kDeg;
      ASSERT_GE(ctl::AddCalibrationEntry(entry), 0);
      const double off = static_cast<int>(i) == wrong ? 20 * kDeg : 0.0;
      const ctl::EncoderRecord r = Record(
          m, Dir(entry.catalogue1 - ctl::DriftTerm(ctl::State().settings), entry.catalogue2 + off));
      ASSERT_GE(ctl::SightCalibrationEntry(entry.name, r.angle1, r.angle2, r.count1, r.count2), 0);
    }
  }
  // Errors (arcminutes) over the sky above 15° at that hour, reported
  // through the chosen model, one per fixed-frame direction.
  static std::vector<double> Errors(const Mount& m, double hours) {
    At(hours);
    const double drift = ctl::DriftTerm(ctl::State().settings);
    std::vector<double> errors;
    for (double lat = -30; lat <= 89; lat += 7) {
      for (double lon = 0; lon < 360; lon += 9) {
        const V fixed = Dir(lon * kDeg, lat * kDeg);
        if (!AboveHorizon(m, fixed)) continue;
        double ra = 0.0, dec = 0.0;
        ctl::CorrectPosition(Record(m, fixed), ra, dec);
        errors.push_back(Separation(Dir(ra, dec), Dir(lon * kDeg + drift, lat * kDeg)) / kArcmin);
      }
    }
    return errors;
  }
  static double P95(std::vector<double> e) {
    std::sort(e.begin(), e.end());
    return e[e.size() * 95 / 100];
  }
  static std::vector<wsm::MessageBoxCall>& Boxes() { return wsm::TheLog().boxes; }
  // The number the first box tells after `figure`; not a number when it
  // tells none.
  static double Told(const char* figure) {
    const std::string& text = Boxes().empty() ? std::string() : Boxes()[0].text;
    const std::size_t at = text.find(figure);
    if (at == std::string::npos) {
      ADD_FAILURE() << "no \"" << figure << "\" in: " << text;
      return std::nan("");
    }
    return std::atof(text.c_str() + at + std::strlen(figure));
  }
};

// ---- The six coefficients, checked -----------------------------------------

struct CheckCase {
  const char* what;
  Mount mount;
  Stars stars;
  int resolution;    // of the first axis, as configured
  int wrong;         // the star sighted off its place, or -1
  const char* told;  // in the "Check Calibration" box, or nullptr for no box
};

void PrintTo(const CheckCase& c, std::ostream* out) { *out << c.what; }

class AxesChecks : public CalibrationModelsTest, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(AxesChecks, AFitThatCannotBelongToTheEncodersIsTold) {
  const CheckCase& c = GetParam();
  Resolutions(c.resolution);
  Sight(c.mount, c.stars, 0.0, c.wrong);
  ctl::CalibrateTelescope();
  ASSERT_GE(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].caption, "Telecope Calibrated") << "the fit is in force, as ever";
  if (c.told == nullptr) {
    EXPECT_EQ(Boxes().size(), 1u) << Boxes().back().text;
    return;
  }
  ASSERT_EQ(Boxes().size(), 2u);
  EXPECT_EQ(Boxes()[1].caption, "Check Calibration");
  EXPECT_EQ(Boxes()[1].style, 0x1030u) << "system-modal, warning icon, OK button";
  EXPECT_NE(Boxes()[1].text.find(c.told), std::string::npos) << Boxes()[1].text << "\n"
                                                             << Boxes()[0].text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AxesChecks,
    ::testing::Values(
        CheckCase{"sound", kPerfect, kThree, kResolution, -1, nullptr},
        CheckCase{
            "polar error, two stars of one declination", kPolar1, kSharedDec, kResolution, -1,
            "declination axis fit turns back between the sighted objects (slope -0.033 to 2.001 "
            "between 18.4 and 59.1 degrees"},
        CheckCase{
            "half the resolution", kPerfect, kThree, kResolution / 2, -1,
            "right ascension axis fit has a slope of 0.500 over the sighted span of 220.0 degrees"},
        CheckCase{
            "Invert box wrong", kPerfect, kThree, -kResolution, -1,
            "right ascension axis fit runs backwards over the sighted objects (slope -1.000 to "
            "-1.000 between -25.0 and 85.0 degrees"},
        CheckCase{"a star sighted on another", kPerfect, kSix, kResolution, 1,
                  "star1 lies 695.3' from its fitted place on the declination axis"},
        CheckCase{"the first star sighted on another", kPerfect, kSix, kResolution, 0,
                  "star0 lies "},
        CheckCase{"the last star sighted on another", kPerfect, kSix, kResolution, 5,
                  "star5 lies "}));

// ---- The mount model ---------------------------------------------------------

// Each counter's scale error is told with its own sign.
TEST_F(CalibrationModelsTest, MountModelTellsEachCountersScaleErrorWithItsSign) {
  ctl::State().settings.PointModel = ctl::kMountModel;
  const Mount scales{"scales", 0, 0, 0, 0, 0.012, -0.01, 0.3, 0.1, true};
  Sight(scales, kSix, 0.5);
  ctl::CalibrateTelescope();
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_NEAR(Told("Scale error of the first counter: "), 1.2, 0.1);
  EXPECT_NEAR(Told("Scale error of the second counter: "), -1.0, 0.1);
}

TEST_F(CalibrationModelsTest, MountModelHoldsTheWholeSkyThroughTheNight) {
  ctl::State().settings.PointModel = ctl::kMountModel;
  const ctl::PointingCoefficients axes = {0.0, 1.001, 0.002, 0.0, 0.999, -0.001};
  ctl::State().pointing = axes;
  Sight(kPolar3Scale, kSix, 0.5);
  ctl::CalibrateTelescope();
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].caption, "Telecope Calibrated");
  EXPECT_EQ(Boxes()[0].style, 0x1040u);
  EXPECT_NE(Boxes()[0].text.find("Scale error of the first counter: 1.5"), std::string::npos)
      << Boxes()[0].text;
  // The rotation is told as the polar axis's 3° from the pole, and the
  // residual as the counters' rounding leaves it: under a count (2.64').
  EXPECT_NEAR(Told("Polar axis off the pole: "), 180.0, 2.0);
  const double residual = Told("RMS residual of the sighted objects: ");
  EXPECT_GE(residual, 0.1);
  EXPECT_LE(residual, 2.64);

  const std::vector<double> start = Errors(kPolar3Scale, 0.0);
  const std::vector<double> later = Errors(kPolar3Scale, 6.0);
  double growth = 0.0;
  for (std::size_t i = 0; i < start.size(); ++i) growth = std::max(growth, later[i] - start[i]);
  std::printf("  mount model, polar 3°, 1.5%% scale, 6 stars: p95 %.2f' at 0 h, %.2f' at 6 h\n",
              P95(start), P95(later));
  EXPECT_LE(P95(start), 5.3);
  EXPECT_LE(growth, 1.0);

  // Both fits are kept: the six coefficients come back with the setting.
  ctl::State().settings.PointModel = ctl::kAxesModel;
  EXPECT_EQ(std::memcmp(&ctl::State().pointing, &axes, sizeof axes), 0);
  At(0.0);
  double ra = 0.0, dec = 0.0;
  const ctl::EncoderRecord r = Record(kPolar3Scale, Dir(0.5, 0.5));
  ctl::CorrectPosition(r, ra, dec);
  EXPECT_NEAR(ra, 1.001 * r.angle1 + 0.002, 1e-12);
}

TEST_F(CalibrationModelsTest, AMountModelThatCannotBeFittedLeavesTheOneInForce) {
  ctl::State().settings.PointModel = ctl::kMountModel;
  Sight(kPerfect, {{10, 30}, {10, 30.00001}});
  const ctl::MountModel before = ctl::State().mount;
  ctl::State().mount.index = 0.001;
  ctl::CalibrateTelescope();
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].caption, "Calibration Failed");
  EXPECT_EQ(ctl::State().mount.index, 0.001);
  EXPECT_EQ(before.scale1, ctl::State().mount.scale1);
}

}  // namespace
