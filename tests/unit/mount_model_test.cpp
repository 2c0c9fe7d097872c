// The mount model's fit against a mount built here as geometry: its axes
// turned by the errors as rotations about explicit axes, its counters
// counting the turned angles with a scale error and rounding to whole counts.
// The model fitted from a few sightings must then place every direction of
// the sky above 15° altitude, as the counts of that direction say.
#include "pointing/mount_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

using ctl::kPi;
constexpr double kDeg = kPi / 180.0;
constexpr double kArcmin = kDeg / 60.0;
constexpr int kResolution = 8192;
constexpr double kRadPerCount = 2.0 * kPi / kResolution;

struct V {
  double x, y, z;
};
V Add(V a, V b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V Mul(V a, double f) { return {a.x * f, a.y * f, a.z * f}; }
double Dot(V a, V b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V Cross(V a, V b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
V Unit(V a) { return Mul(a, 1.0 / std::sqrt(Dot(a, a))); }
V Dir(double lon, double lat) {
  return {std::cos(lat) * std::cos(lon), std::cos(lat) * std::sin(lon), std::sin(lat)};
}
// v turned by angle about the unit axis k (Rodrigues).
V Rotate(V v, V k, double angle) {
  return Add(Add(Mul(v, std::cos(angle)), Mul(Cross(k, v), std::sin(angle))),
             Mul(k, Dot(k, v) * (1.0 - std::cos(angle))));
}
double Separation(V a, V b) {
  return std::atan2(std::sqrt(Dot(Cross(a, b), Cross(a, b))), Dot(a, b));
}

// A mount in the fixed frame (horizon, or the sky at connect turned back by
// the drift): its base tilted by `tilt` about the horizontal axis at
// longitude `tilt_toward`, its second axis off square by `nonperp`, its tube
// off square by `collimation`, its counters off scale, and its zeros where
// the telescope happened to point at connect.
struct Mount {
  const char* name;
  double tilt, tilt_toward, nonperp, collimation, scale1, scale2;
  double zero1 = 0.3, zero2 = 0.1;
  bool equatorial = false;  // which way "above 15°" is taken

  V FirstAxis() const { return Rotate({0, 0, 1}, Dir(tilt_toward, 0), tilt); }
  // The tube for the physical axis angles.
  V Tube(double axis1, double axis2) const {
    const V base_x = Rotate({1, 0, 0}, Dir(tilt_toward, 0), tilt);
    const V base_y = Rotate({0, 1, 0}, Dir(tilt_toward, 0), tilt);
    const V second = Rotate(base_y, base_x, nonperp);
    V tube = Unit(Add(Mul(base_x, std::cos(collimation)), Mul(second, std::sin(collimation))));
    tube = Rotate(tube, second, -axis2);
    return Rotate(tube, FirstAxis(), axis1);
  }
  // Whole counts of a direction (the axis angles found by Newton's method).
  void Counts(V target, double& c1, double& c2) const {
    double a1 = std::atan2(target.y, target.x), a2 = std::asin(target.z);
    for (int i = 0; i < 50; ++i) {
      const V t = Tube(a1, a2);
      const double h = 1e-7;
      const V d1 = Mul(Add(Tube(a1 + h, a2), Mul(t, -1)), 1 / h);
      const V d2 = Mul(Add(Tube(a1, a2 + h), Mul(t, -1)), 1 / h);
      const V r = Add(target, Mul(t, -1));
      const double a = Dot(d1, d1), b = Dot(d1, d2), c = Dot(d2, d2);
      const double g1 = Dot(d1, r), g2 = Dot(d2, r), det = a * c - b * b;
      a1 += (c * g1 - b * g2) / det;
      a2 += (a * g2 - b * g1) / det;
    }
    c1 = std::nearbyint((a1 - zero1) / (kRadPerCount * (1.0 + scale1)));
    c2 = std::nearbyint((a2 - zero2) / (kRadPerCount * (1.0 + scale2)));
  }
};

// Above 15° altitude: alt-azimuth mounts in the horizon frame itself; the
// equatorial frame at latitude 50°, its longitude taken as minus the hour angle.
bool AboveHorizon(const Mount& m, V d) {
  if (!m.equatorial) return d.z > std::sin(15 * kDeg);
  const double lat = 50 * kDeg;
  const double hour_angle = -std::atan2(d.y, d.x), dec = std::asin(d.z);
  const double sin_alt =
      std::sin(lat) * std::sin(dec) + std::cos(lat) * std::cos(dec) * std::cos(hour_angle);
  return sin_alt > std::sin(15 * kDeg);
}

struct Case {
  Mount mount;
  std::vector<std::pair<double, double>> stars;  // fixed-frame longitude, latitude, degrees
  double limit;                                  // p95, arcminutes
};

constexpr double kRef1 = 1.0, kRef2 = 0.5;  // the reference the counts start from

ctl::MountSighting Sight(const Mount& m, V target) {
  double c1, c2;
  m.Counts(target, c1, c2);
  ctl::MountSighting s;
  s.ref1 = kRef1;
  s.ref2 = kRef2;
  s.turned1 = c1 * kRadPerCount;
  s.turned2 = c2 * kRadPerCount;
  s.longitude = std::atan2(target.y, target.x);
  s.latitude = std::asin(target.z);
  return s;
}

// p95 of the great-circle error over a grid of the sky above 15°.
double P95(const Mount& m, const ctl::MountModel& model) {
  std::vector<double> errors;
  for (double lat = -85; lat <= 89; lat += 7) {
    for (double lon = 0; lon < 360; lon += 9) {
      const V target = Dir(lon * kDeg, lat * kDeg);
      if (!AboveHorizon(m, target)) continue;
      const ctl::MountSighting s = Sight(m, target);
      double plon, plat;
      ctl::MountModelPosition(model, s.ref1, s.ref2, s.turned1, s.turned2, plon, plat);
      errors.push_back(Separation(Dir(plon, plat), target) / kArcmin);
    }
  }
  std::sort(errors.begin(), errors.end());
  return errors[errors.size() * 95 / 100];
}

const Mount kPerfect{"perfect", 0, 0, 0, 0, 0, 0};
const Mount kAltAz{"alt-az tilt 1, 0.3 off square, 0.3 collimation",
                   1 * kDeg,
                   40 * kDeg,
                   0.3 * kDeg,
                   0.3 * kDeg,
                   0,
                   0};
const Mount kAltAzScale{
    "alt-az as above, 0.5% scale", 1 * kDeg, 40 * kDeg, 0.3 * kDeg, 0.3 * kDeg, 0.005, 0.005};
const Mount kEq1{"equatorial polar 1, 0.2 off square, 0.3 coll.",
                 1 * kDeg,
                 200 * kDeg,
                 0.2 * kDeg,
                 0.3 * kDeg,
                 0,
                 0,
                 0.3,
                 0.1,
                 true};
const Mount kEq3{
    "equatorial polar 3", 3 * kDeg, 120 * kDeg, 0.2 * kDeg, 0.3 * kDeg, 0, 0, 0.3, 0.1, true};
const Mount kEq3Scale{"equatorial polar 3, 1.5% scale",
                      3 * kDeg,
                      120 * kDeg,
                      0.2 * kDeg,
                      0.3 * kDeg,
                      0.015,
                      0,
                      0.3,
                      0.1,
                      true};

// Alt-azimuth star sets (longitude = azimuth); the equatorial ones are in
// right ascension and declination of the fixed frame, above 15° at 50°N.
const std::vector<std::pair<double, double>> kTwoAA = {{30, 40}, {120, 40}};
const std::vector<std::pair<double, double>> kThreeAA = {{20, 30}, {140, 60}, {260, 35}};
const std::vector<std::pair<double, double>> kClusterAA = {
    {100, 30}, {125, 40}, {110, 60}, {90, 48}};
const std::vector<std::pair<double, double>> kSixAA = {{10, 25},  {70, 65},  {130, 30},
                                                       {190, 50}, {250, 20}, {310, 75}};
const std::vector<std::pair<double, double>> kTwoEQ = {{-30, 20}, {60, 50}};
const std::vector<std::pair<double, double>> kThreeEQ = {{-50, 10}, {20, 70}, {60, 20}};
const std::vector<std::pair<double, double>> kClusterEQ = {{-10, 20}, {15, 30}, {0, 50}, {-20, 38}};
const std::vector<std::pair<double, double>> kSixEQ = {{-70, 15}, {-30, 60}, {0, 5},
                                                       {30, 85},  {60, 30},  {100, 45}};

class MountModelFit : public ::testing::TestWithParam<Case> {};

TEST_P(MountModelFit, PlacesTheWholeSkyWithinTheLimit) {
  const Case& c = GetParam();
  std::vector<ctl::MountSighting> sightings;
  for (auto [lon, lat] : c.stars) sightings.push_back(Sight(c.mount, Dir(lon * kDeg, lat * kDeg)));
  const ctl::MountFit fit = ctl::FitMountModel(sightings.data(), static_cast<int>(sightings.size()),
                                               kRadPerCount / std::sqrt(12.0));
  ASSERT_EQ(fit.outcome, ctl::MountFitOutcome::kFitted);
  const double p95 = P95(c.mount, fit.model);
  std::printf("  %-48s %zu stars: p95 %5.2f'  terms", c.mount.name, c.stars.size(), p95);
  for (bool a : fit.admitted) std::printf(" %d", a ? 1 : 0);
  std::printf("  rms %.2f'\n", fit.rms / kArcmin);
  EXPECT_LE(p95, c.limit);
}

INSTANTIATE_TEST_SUITE_P(Mounts, MountModelFit,
                         ::testing::Values(Case{kPerfect, kSixAA, 2.5}, Case{kPerfect, kTwoAA, 3.0},
                                           Case{kAltAz, kTwoAA, 15}, Case{kAltAz, kThreeAA, 10},
                                           Case{kAltAz, kClusterAA, 10}, Case{kAltAz, kSixAA, 5.3},
                                           Case{kAltAzScale, kSixAA, 5.3}, Case{kEq1, kTwoEQ, 15},
                                           Case{kEq1, kThreeEQ, 10}, Case{kEq1, kClusterEQ, 10},
                                           Case{kEq1, kSixEQ, 5.3}, Case{kEq3, kSixEQ, 5.3},
                                           Case{kEq3, kThreeEQ, 10}, Case{kEq3Scale, kSixEQ, 5.3}));

}  // namespace
