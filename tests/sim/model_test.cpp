// The telescope model: counts from sky positions, checked by turning them
// back into sky positions the way the plug-in does.
#include <gtest/gtest.h>

#include <cmath>

#include "astro.h"
#include "dsc_sim.h"
#include "slave_port.h"

namespace {

using namespace astro;
using dscsim::AxisModel;
using dscsim::CountsForAngle;
using dscsim::Mount;
using dscsim::SkyModel;

// The plug-in's range rule for an angle pair.
void NormaliseAngles(double& a, double& b) {
  while (a < 0) a += kTwoPi;
  while (a > kTwoPi) a -= kTwoPi;
  if (b > kPi / 2) {
    b = kPi - b;
    a = a < kPi ? a + kPi : a - kPi;
  }
  if (b < -kPi / 2) {
    b = -kPi - b;
    a = a < kPi ? a + kPi : a - kPi;
  }
}

// What the plug-in makes of two counts: angle = count * 2pi / resolution plus
// the reference point (equatorial: RA and Dec, plus one turn per day since
// connecting on the first axis; alt-azimuth: the reference point's azimuth
// and altitude at connect, turned into RA and Dec through the host's
// conversion at the present time).
Equatorial WhatThePlugInSees(const SkyModel& m, std::pair<std::int32_t, std::int32_t> counts,
                             double julian_date) {
  double a = counts.first * (kTwoPi / m.axis1.resolution);
  double b = counts.second * (kTwoPi / m.axis2.resolution);
  if (m.mount == Mount::kEquatorial) {
    a += m.ref_ra;
    b += m.ref_dec;
    const double hours = (julian_date - m.connect_julian_date) * 24.0;
    a += hours * (kPi / 12.0);
    NormaliseAngles(a, b);
    return {a, b};
  }
  const Horizontal ref =
      EquatorialToHorizontal({m.ref_ra, m.ref_dec}, m.site, m.connect_julian_date);
  a += ref.azimuth;
  b += ref.altitude;
  NormaliseAngles(a, b);
  return HorizontalToEquatorial({a, b}, m.site, julian_date);
}

SkyModel ModelFor(Mount mount, std::int32_t resolution) {
  SkyModel m;
  m.site = {48.2 * kDegree, 16.4 * kDegree};
  m.mount = mount;
  m.connect_julian_date = 2460400.40;  // a spring night in Europe
  m.axis1.resolution = resolution;
  m.axis2.resolution = resolution;
  return m;
}

double Arcmin(double radians) { return radians / kArcminute; }

TEST(AxisModelTest, CountsForAngles) {
  const AxisModel axis{4096, 0.0, 0.0};
  EXPECT_EQ(CountsForAngle(0.0, axis), 0);
  EXPECT_EQ(CountsForAngle(kPi / 2, axis), 1024);
  EXPECT_EQ(CountsForAngle(-kPi / 2, axis), -1024);
  EXPECT_EQ(CountsForAngle(kPi, axis), 2048);
  EXPECT_EQ(CountsForAngle(-kPi, axis), 2048);  // within (-2048, 2048]
  EXPECT_EQ(CountsForAngle(3 * kPi / 2, axis), -1024);
  EXPECT_EQ(CountsForAngle(kTwoPi + 0.01, axis), CountsForAngle(0.01, axis));
  EXPECT_EQ(CountsForAngle(1.0 * kDegree, axis), 11);  // 11.38 rounds down
}

TEST(AxisModelTest, NegativeResolutionCountsTheOtherWay) {
  const AxisModel axis{-4096, 0.0, 0.0};
  EXPECT_EQ(CountsForAngle(kPi / 2, axis), -1024);
  EXPECT_EQ(CountsForAngle(-kPi / 2, axis), 1024);
  // The plug-in's angle = count * 2pi / resolution gives the angle back.
  EXPECT_NEAR(CountsForAngle(0.3, axis) * kTwoPi / -4096, 0.3, kTwoPi / 4096);
}

TEST(AxisModelTest, ScaleErrorAndZeroOffset) {
  EXPECT_EQ(CountsForAngle(kPi / 2, {4096, 0.01, 0.0}), 1034);  // 1024 * 1.01 = 1034.2
  EXPECT_EQ(CountsForAngle(kPi / 2, {4096, -0.01, 0.0}), 1014);
  EXPECT_EQ(CountsForAngle(0.0, {4096, 0.0, kPi / 4}), 512);
  EXPECT_EQ(CountsForAngle(kPi / 4, {4096, 0.5, kPi / 4}), 1536);  // 3pi/4 of a turn
}

TEST(AxisModelTest, FiveDigitsAtMost) {
  EXPECT_EQ(CountsForAngle(kPi * 0.99, {400000, 0.0, 0.0}), 99999);
  EXPECT_EQ(CountsForAngle(-kPi * 0.99, {400000, 0.0, 0.0}), -99999);
  EXPECT_EQ(CountsForAngle(1.0, {0, 0.0, 0.0}), 0);
}

TEST(SkyModelTest, TheReferencePointAtConnectReadsZero) {
  for (Mount mount : {Mount::kEquatorial, Mount::kAltAzimuth}) {
    const SkyModel m = ModelFor(mount, 8192);
    EXPECT_EQ(dscsim::CountsFor(m, m.ref_ra, m.ref_dec, m.connect_julian_date),
              std::make_pair(0, 0));
  }
}

TEST(SkyModelTest, EquatorialAxesAreHourAngleAndDeclination) {
  SkyModel m = ModelFor(Mount::kEquatorial, 4096);
  m.ref_ra = 1.0;
  m.ref_dec = 0.2;
  // A target half an hour of right ascension east of the reference, at
  // connect: its hour angle is half an hour smaller, so axis 1 turned +7.5
  // degrees.
  const dscsim::AxisAngles a =
      dscsim::TrueAxisAngles(m, 1.0 + 0.5 * kHour, 0.5, m.connect_julian_date);
  EXPECT_NEAR(a.first, 0.5 * kHour, 1e-12);
  EXPECT_NEAR(a.second, 0.3, 1e-12);
  // The telescope left where it was: an hour later it points at an hour
  // angle that the reference had at connect, so axis 1 reads zero for the
  // position one sidereal hour further east.
  const double later = m.connect_julian_date + 1.0 / 24.0;
  const double lst_change = LocalSiderealTime(later, m.site.longitude) -
                            LocalSiderealTime(m.connect_julian_date, m.site.longitude);
  EXPECT_NEAR(dscsim::TrueAxisAngles(m, 1.0 + lst_change, 0.2, later).first, 0.0, 1e-12);
}

// A session of a few minutes: point at bright stars above the horizon, read
// the counts, convert as the plug-in does, and find the star again.
void ExpectRoundTrip(Mount mount, std::int32_t resolution, double tolerance_arcmin) {
  SkyModel m = ModelFor(mount, resolution);
  const Star* ref = FindStar("Regulus");
  m.ref_ra = ref->ra;
  m.ref_dec = ref->dec;
  int checked = 0;
  for (double minutes : {0.0, 1.0, 3.0, 5.0}) {
    const double jd = m.connect_julian_date + minutes / 1440.0;
    for (const Star& star : BrightStars()) {
      const Horizontal h = EquatorialToHorizontal(star.position(), m.site, jd);
      if (h.altitude < 10 * kDegree || h.altitude > 80 * kDegree) continue;
      const auto counts = dscsim::CountsFor(m, star.ra, star.dec, jd);
      const Equatorial seen = WhatThePlugInSees(m, counts, jd);
      EXPECT_LT(Arcmin(AngularSeparation(seen, star.position())), tolerance_arcmin)
          << star.name << " after " << minutes << " min, counts " << counts.first << " "
          << counts.second;
      ++checked;
    }
  }
  EXPECT_GT(checked, 40);
}

TEST(SkyModelTest, EquatorialRoundTrip) { ExpectRoundTrip(Mount::kEquatorial, 8192, 3.0); }
TEST(SkyModelTest, AltAzimuthRoundTrip) { ExpectRoundTrip(Mount::kAltAzimuth, 8192, 3.0); }
TEST(SkyModelTest, InvertedAxesRoundTrip) {
  ExpectRoundTrip(Mount::kEquatorial, -8192, 3.0);
  ExpectRoundTrip(Mount::kAltAzimuth, -8192, 3.0);
}
TEST(SkyModelTest, FineEncodersRoundTripClosely) {
  ExpectRoundTrip(Mount::kEquatorial, 160000, 0.5);
  ExpectRoundTrip(Mount::kAltAzimuth, 160000, 0.3);
}

TEST(SkyModelTest, EquatorialDriftIsTheSiderealRateDifference) {
  // The plug-in adds one turn a day; the sky turns 1.0027379 times a day.
  // After an hour the right ascension it sees lags by 2pi * 0.0027379 / 24.
  SkyModel m = ModelFor(Mount::kEquatorial, 160000);
  const Star* spica = FindStar("Spica");
  const double jd = m.connect_julian_date + 1.0 / 24.0;
  const auto counts = dscsim::CountsFor(m, spica->ra, spica->dec, jd);
  const Equatorial seen = WhatThePlugInSees(m, counts, jd);
  EXPECT_NEAR(Arcmin(WrapPi(seen.ra - spica->ra)), -2.464, 0.1);
  EXPECT_NEAR(Arcmin(seen.dec - spica->dec), 0.0, 0.1);
}

TEST(SkyModelTest, MountErrorsShowAsTheirSizeInTheResult) {
  // Equatorial, 0.5 degree zero offset on the declination axis: every
  // declination comes out 0.5 degree high; a 1% scale error on the hour angle
  // axis puts the right ascension off by 1% of the axis angle.
  SkyModel m = ModelFor(Mount::kEquatorial, 160000);
  m.axis2.zero_offset = 0.5 * kDegree;
  m.axis1.scale_error = 0.01;
  const double jd = m.connect_julian_date + 2.0 / 1440.0;
  for (const char* name : {"Arcturus", "Procyon", "Dubhe", "Spica"}) {
    const Star* star = FindStar(name);
    const auto counts = dscsim::CountsFor(m, star->ra, star->dec, jd);
    const Equatorial seen = WhatThePlugInSees(m, counts, jd);
    EXPECT_NEAR(Arcmin(seen.dec - star->dec), 30.0, 0.2) << name;
    const double axis = dscsim::TrueAxisAngles(m, star->ra, star->dec, jd).first;
    EXPECT_NEAR(Arcmin(WrapPi(seen.ra - star->ra)), Arcmin(0.01 * axis), 0.5) << name;
    EXPECT_GT(std::abs(Arcmin(0.01 * axis)), 5.0) << name;  // a visible error
  }

  // Alt-azimuth, offsets of 1 degree in azimuth and -0.4 degree in altitude:
  // the horizon position the plug-in works with is off by just that.
  SkyModel aa = ModelFor(Mount::kAltAzimuth, 160000);
  aa.axis1.zero_offset = 1.0 * kDegree;
  aa.axis2.zero_offset = -0.4 * kDegree;
  const Horizontal ref =
      EquatorialToHorizontal({aa.ref_ra, aa.ref_dec}, aa.site, aa.connect_julian_date);
  for (const char* name : {"Arcturus", "Procyon", "Regulus"}) {
    const Star* star = FindStar(name);
    const auto counts = dscsim::CountsFor(aa, star->ra, star->dec, jd);
    const Horizontal truth = EquatorialToHorizontal(star->position(), aa.site, jd);
    const double az = counts.first * kTwoPi / 160000 + ref.azimuth;
    const double alt = counts.second * kTwoPi / 160000 + ref.altitude;
    EXPECT_NEAR(Arcmin(WrapPi(az - truth.azimuth)), 60.0, 0.3) << name;
    EXPECT_NEAR(Arcmin(alt - truth.altitude), -24.0, 0.3) << name;
    const Equatorial seen = WhatThePlugInSees(aa, counts, jd);
    const double off = Arcmin(AngularSeparation(seen, star->position()));
    EXPECT_GT(off, 20.0) << name;
    EXPECT_LT(off, 70.0) << name;
  }
}

TEST(SkyModelTest, BoxPointAtAnswersWithTheModelsCounts) {
  dscsim::Box box;
  ASSERT_TRUE(box.Start());
  SkyModel m = ModelFor(Mount::kAltAzimuth, 10000);
  box.SetSkyModel(m);
  EXPECT_EQ(box.GetSkyModel().axis1.resolution, 10000);
  const Star* vega = FindStar("Vega");
  const double jd = m.connect_julian_date + 0.01;
  const auto counts = box.PointAt(vega->ra, vega->dec, jd);
  EXPECT_EQ(counts, dscsim::CountsFor(m, vega->ra, vega->dec, jd));
  EXPECT_EQ(box.Counts(), counts);
  simtest::SlavePort port(box.SlavePath());
  EXPECT_EQ(port.Ask("Q", 14), dscsim::FormatCounts(counts.first, counts.second));
  // Axis angles directly, and a new connect time.
  EXPECT_EQ(box.PointAxes(kPi / 2, -kPi / 4), std::make_pair(2500, -1250));
  box.SetConnectTime(jd);
  EXPECT_EQ(box.PointAt(m.ref_ra, m.ref_dec, jd), std::make_pair(0, 0));
}

}  // namespace

namespace {

// A mount with every error of its kind, half a degree or so each.
SkyModel RealMount(Mount mount) {
  SkyModel m = ModelFor(mount, 8192);
  m.geometry = {1.0 * kDegree,  40 * kDegree,  1.0 * kDegree,
                -0.7 * kDegree, 0.3 * kDegree, 0.3 * kDegree};
  return m;
}

TEST(MountGeometryTest, AxisAnglesAimTheTubeExactly) {
  // The inverse is solved in closed form; the forward geometry checks it
  // over the whole reachable sky, and the errors move the axes by about
  // their size.
  for (Mount mount : {Mount::kEquatorial, Mount::kAltAzimuth}) {
    const SkyModel real = RealMount(mount), perfect = ModelFor(mount, 8192);
    double largest = 0.0;
    for (int i = 0; i < 400; ++i) {
      const double lat = std::asin(-0.95 + 1.9 * (i + 0.5) / 400), lon = i * 2.39996;
      const Vector v = SphericalToVector(lon, lat, 1.0);
      const dscsim::AxisAngles a = dscsim::MountAxes(real, v);
      const Vector back = dscsim::TubeDirection(real, a.first, a.second);
      EXPECT_LT(std::hypot(back.x - v.x, back.y - v.y, back.z - v.z), 1e-12) << i;
      const dscsim::AxisAngles p = dscsim::MountAxes(perfect, v);
      largest = std::fmax(largest, std::fabs(WrapPi(a.first - p.first)) * std::cos(lat));
      largest = std::fmax(largest, std::fabs(a.second - p.second));
    }
    EXPECT_GT(largest, 1.0 * kDegree);
    EXPECT_LT(largest, 4.0 * kDegree);
  }
}

TEST(MountGeometryTest, ATiltAndAPolarErrorReadAsTheirSize) {
  // A base leant 1 degree reads the zenith at 89 degrees on its altitude
  // axis; a polar axis 1 degree high reads the pole at 89 degrees.
  SkyModel aa = ModelFor(Mount::kAltAzimuth, 8192);
  aa.geometry.tilt = 1.0 * kDegree;
  aa.geometry.tilt_azimuth = 120 * kDegree;
  EXPECT_NEAR(dscsim::MountAxes(aa, {0, 0, 1}).second, 89 * kDegree, 1e-12);
  SkyModel eq = ModelFor(Mount::kEquatorial, 8192);
  eq.geometry.polar_altitude = 1.0 * kDegree;
  EXPECT_NEAR(dscsim::MountAxes(eq, {0, 0, 1}).second, 89 * kDegree, 1e-12);
  // Collimation alone: the tube never reaches the first axis's pole.
  eq.geometry = {};
  eq.geometry.collimation = 0.5 * kDegree;
  EXPECT_NEAR(dscsim::MountAxes(eq, {0, 0, 1}).second, kPi / 2, 1e-12);
  const Vector top = dscsim::TubeDirection(eq, 0.0, kPi / 2);
  EXPECT_NEAR(std::acos(top.z), 0.5 * kDegree, 1e-12);
}

TEST(MountGeometryTest, CountersWithAScaleError) {
  // Wrapping at 8192 with a 1.5% scale error: the seam's arc, 1.5% of a turn
  // wide, reads counts that also stand for places across the seam.
  const AxisModel wraps{8192, 0.015, 0.0};
  EXPECT_EQ(CountsForAngle(kPi - 2.0 * kDegree, wraps),
            CountsForAngle(-kPi + 3.32 * kDegree, wraps));
  // Counting on: a turn and a quarter, the short way round each step.
  dscsim::Box box;
  SkyModel m = ModelFor(Mount::kEquatorial, 8192);
  m.axis1 = {8192, 0.015, 0.0, true};
  box.SetSkyModel(m);
  std::pair<std::int32_t, std::int32_t> counts;
  for (int step = 1; step <= 10; ++step) {  // the telescope turns east, an eighth at a time
    counts = box.PointAt(m.ref_ra + step * kPi / 4, 0.3, m.connect_julian_date);
  }
  EXPECT_EQ(counts.first, std::lround(10 * 1024 * 1.015));
}

}  // namespace
