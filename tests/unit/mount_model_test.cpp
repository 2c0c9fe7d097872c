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

#include "mount_geometry.h"

namespace {

using namespace mountgeo;
using ctl::kPi;

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
const Mount kHalfTurn{"alt-az, zero half a turn off, 1% scale",
                      1 * kDeg,
                      40 * kDeg,
                      0.3 * kDeg,
                      0.3 * kDeg,
                      0.01,
                      0.01,
                      kPi,
                      0.1};
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
                                           Case{kAltAzScale, kSixAA, 5.3},
                                           Case{kHalfTurn, kSixAA, 5.3}, Case{kEq1, kTwoEQ, 15},
                                           Case{kEq1, kThreeEQ, 10}, Case{kEq1, kClusterEQ, 10},
                                           Case{kEq1, kSixEQ, 5.3}, Case{kEq3, kSixEQ, 5.3},
                                           Case{kEq3, kThreeEQ, 10}, Case{kEq3Scale, kSixEQ, 5.3}));

// Four objects within 35° do not fix a counter's scale: it is left out,
// never fitted to the noise of their counts.
TEST(MountModelTerms, ClusteredObjectsLeaveTheScalesOut) {
  std::vector<ctl::MountSighting> sightings;
  for (auto [lon, lat] : kClusterAA)
    sightings.push_back(Sight(kAltAzScale, Dir(lon * kDeg, lat * kDeg)));
  const ctl::MountFit fit = ctl::FitMountModel(sightings.data(), 4, kRadPerCount / std::sqrt(12.0));
  ASSERT_EQ(fit.outcome, ctl::MountFitOutcome::kFitted);
  EXPECT_TRUE(fit.admitted[ctl::kTermIndex]);
  EXPECT_FALSE(fit.admitted[ctl::kTermScale1]);
  EXPECT_FALSE(fit.admitted[ctl::kTermScale2]);
}

}  // namespace
