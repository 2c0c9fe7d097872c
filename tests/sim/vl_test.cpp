// The host's vl_ coordinate functions over their context table.
#include <gtest/gtest.h>

#include <cmath>

#include "astro.h"
#include "astro_vl.h"

namespace {

using namespace astro;

class VlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vl::ClearContexts();
    vl::ClearCalls();
    vl::SetLeaveAzimuthUnwritten(false);
  }
  void TearDown() override { SetUp(); }
};

// The plug-in's way from the sky frame to the horizon: to a vector, rotate,
// back to spherical, mathematical longitude to real-world azimuth.
Horizontal EquatorialToHorizonThroughHost(std::int32_t context, double ra, double dec) {
  vl_Vector v{}, h{}, s{};
  vl_SphericalToXYZ(ra, dec, 1.0, &v);
  vl_CoordinateConversion(context, VL_FRAME_SKY, VL_FRAME_HORIZON, v, &h);
  vl_XYZToSpherical(h, &s);
  double azimuth = 0.0;
  vl_Mathematical2RealWorldAzimuth(s.x, &azimuth);
  return {azimuth, s.y};
}

Equatorial HorizonToEquatorialThroughHost(std::int32_t context, double azimuth, double altitude) {
  double longitude = 0.0;
  vl_RealWorldAzimuth2Mathematical(azimuth, &longitude);
  vl_Vector v{}, e{}, s{};
  vl_SphericalToXYZ(longitude, altitude, 1.0, &v);
  vl_CoordinateConversion(context, VL_FRAME_HORIZON, VL_FRAME_SKY, v, &e);
  vl_XYZToSpherical(e, &s);
  return {s.x, s.y};
}

TEST_F(VlTest, AzimuthFunctions) {
  double out = -1.0;
  vl_RealWorldAzimuth2Mathematical(90 * kDegree, &out);
  EXPECT_NEAR(out, 270 * kDegree, 1e-12);
  vl_Mathematical2RealWorldAzimuth(out, &out);
  EXPECT_NEAR(out, 90 * kDegree, 1e-12);
  vl_RealWorldAzimuth2Mathematical(0.0, &out);
  EXPECT_EQ(out, 0.0);
}

TEST_F(VlTest, LeaveAzimuthUnwrittenKeepsWhatTheCallerPreset) {
  vl::SetLeaveAzimuthUnwritten(true);
  double out = 0.0;
  vl_RealWorldAzimuth2Mathematical(1.0, &out);
  EXPECT_EQ(out, 0.0);
  out = 12.5;
  vl_Mathematical2RealWorldAzimuth(1.0, &out);
  EXPECT_EQ(out, 12.5);
  const auto calls = vl::Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_TRUE(calls[0].results.empty());
  vl::SetLeaveAzimuthUnwritten(false);
  vl_Mathematical2RealWorldAzimuth(1.0, &out);
  EXPECT_NEAR(out, kTwoPi - 1.0, 1e-12);
}

TEST_F(VlTest, SphericalAndCartesianRoundTrip) {
  for (double lon = -3.0; lon < 7.0; lon += 0.45) {
    for (double lat = -1.5; lat <= 1.5; lat += 0.25) {
      vl_Vector v{}, s{};
      vl_SphericalToXYZ(lon, lat, 1.0, &v);
      EXPECT_NEAR(v.x * v.x + v.y * v.y + v.z * v.z, 1.0, 1e-12);
      EXPECT_NEAR(v.z, std::sin(lat), 1e-12);
      vl_XYZToSpherical(v, &s);
      EXPECT_NEAR(WrapPi(s.x - lon), 0.0, 1e-12);
      EXPECT_GE(s.x, 0.0);
      EXPECT_LT(s.x, kTwoPi);
      EXPECT_NEAR(s.y, lat, 1e-12);
      EXPECT_NEAR(s.z, 1.0, 1e-12);
    }
  }
}

TEST_F(VlTest, ConversionWithAContextMatchesTheDirectFormula) {
  const Site site{35 * kDegree, -106 * kDegree};
  const double jd = 2460310.75;
  vl::SetContext(7, site, jd);
  for (const Star& star : BrightStars()) {
    const Horizontal expected = EquatorialToHorizontal(star.position(), site, jd);
    const Horizontal got = EquatorialToHorizonThroughHost(7, star.ra, star.dec);
    EXPECT_NEAR(WrapPi(got.azimuth - expected.azimuth), 0.0, 1e-9) << star.name;
    EXPECT_NEAR(got.altitude, expected.altitude, 1e-9) << star.name;
    const Equatorial back = HorizonToEquatorialThroughHost(7, got.azimuth, got.altitude);
    EXPECT_NEAR(AngularSeparation(back, star.position()), 0.0, 1e-9) << star.name;
  }
}

TEST_F(VlTest, ContextsAreKeptApart) {
  vl::SetContext(1, {50 * kDegree, 0.0}, 2451545.0);
  vl::SetContext(2, {-30 * kDegree, 150 * kDegree}, 2451545.3);
  const Horizontal a = EquatorialToHorizonThroughHost(1, 1.0, 0.5);
  const Horizontal b = EquatorialToHorizonThroughHost(2, 1.0, 0.5);
  EXPECT_GT(std::abs(a.altitude - b.altitude) + std::abs(WrapPi(a.azimuth - b.azimuth)), 0.1);
  const Horizontal a_direct = EquatorialToHorizontal({1.0, 0.5}, {50 * kDegree, 0.0}, 2451545.0);
  EXPECT_NEAR(a.altitude, a_direct.altitude, 1e-9);
  const vl::Resolved r = vl::ResolveContext(2);
  EXPECT_EQ(r.site.latitude, -30 * kDegree);
  EXPECT_EQ(r.julian_date, 2451545.3);
}

TEST_F(VlTest, ContextZeroIsTheDefaultSiteNow) {
  const double before = JulianDateNow();
  const Horizontal got = EquatorialToHorizonThroughHost(0, 4.0, 0.3);
  const double after = JulianDateNow();
  const Horizontal at_before = EquatorialToHorizontal({4.0, 0.3}, vl::kDefaultSite, before);
  const Horizontal at_after = EquatorialToHorizontal({4.0, 0.3}, vl::kDefaultSite, after);
  EXPECT_NEAR(got.altitude, at_before.altitude,
              std::abs(at_after.altitude - at_before.altitude) + 1e-6);
  EXPECT_NEAR(WrapPi(got.azimuth - at_before.azimuth), 0.0,
              std::abs(WrapPi(at_after.azimuth - at_before.azimuth)) + 1e-6);
  EXPECT_NEAR(vl::kDefaultSite.latitude, 51.4769 * kDegree, 1e-15);
  EXPECT_EQ(vl::kDefaultSite.longitude, 0.0);
  // A context never set behaves the same.
  const vl::Resolved r = vl::ResolveContext(12345);
  EXPECT_EQ(r.site.latitude, vl::kDefaultSite.latitude);
  EXPECT_NEAR(r.julian_date, JulianDateNow(), 1.0 / 86400.0);
}

TEST_F(VlTest, ContextZeroCanBeSet) {
  vl::SetContext(0, {10 * kDegree, 20 * kDegree}, 2450000.5);
  const Horizontal got = EquatorialToHorizonThroughHost(0, 2.0, -0.2);
  const Horizontal expected =
      EquatorialToHorizontal({2.0, -0.2}, {10 * kDegree, 20 * kDegree}, 2450000.5);
  EXPECT_NEAR(got.altitude, expected.altitude, 1e-12);
  vl::ClearContexts();
  EXPECT_EQ(vl::ResolveContext(0).site.latitude, vl::kDefaultSite.latitude);
}

double g_fake_now = 2455555.5;
double FakeClock() { return g_fake_now; }

TEST_F(VlTest, ContextWithAClockReadsItAtEveryConversion) {
  const Site site{45 * kDegree, 7 * kDegree};
  vl::SetContextClock(3, site, &FakeClock);
  g_fake_now = 2455555.5;
  const Horizontal first = EquatorialToHorizonThroughHost(3, 1.0, 0.2);
  g_fake_now = 2455555.6;
  const Horizontal second = EquatorialToHorizonThroughHost(3, 1.0, 0.2);
  EXPECT_NEAR(first.altitude, EquatorialToHorizontal({1.0, 0.2}, site, 2455555.5).altitude, 1e-12);
  EXPECT_NEAR(second.altitude, EquatorialToHorizontal({1.0, 0.2}, site, 2455555.6).altitude, 1e-12);
  EXPECT_GT(std::abs(first.altitude - second.altitude), 0.01);
  EXPECT_EQ(vl::ResolveContext(3).julian_date, 2455555.6);
}

TEST_F(VlTest, UnknownFramePairsCopyTheVector) {
  vl::SetContext(1, {0.5, 0.5}, 2451545.0);
  const vl_Vector v{0.1, 0.2, 0.3};
  for (auto [from, to] : {std::pair{2, 2}, {6, 6}, {3, 6}, {2, 1}, {-1, 99}}) {
    vl_Vector out{9, 9, 9};
    vl_CoordinateConversion(1, from, to, v, &out);
    EXPECT_EQ(out.x, v.x);
    EXPECT_EQ(out.y, v.y);
    EXPECT_EQ(out.z, v.z);
  }
}

TEST_F(VlTest, CallLogRecordsNamesArgumentsAndContext) {
  vl::SetContext(42, {0.7, 0.1}, 2451545.0);
  EquatorialToHorizonThroughHost(42, 1.25, 0.5);
  const auto calls = vl::Calls();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0].function, "vl_SphericalToXYZ");
  EXPECT_EQ(calls[0].arguments, (std::vector<double>{1.25, 0.5, 1.0}));
  ASSERT_EQ(calls[0].results.size(), 3u);
  EXPECT_EQ(calls[1].function, "vl_CoordinateConversion");
  EXPECT_EQ(calls[1].context, 42);
  EXPECT_EQ(calls[1].from_frame, 6);
  EXPECT_EQ(calls[1].to_frame, 2);
  EXPECT_EQ(calls[1].arguments, calls[0].results);
  EXPECT_EQ(calls[2].function, "vl_XYZToSpherical");
  EXPECT_EQ(calls[2].arguments, calls[1].results);
  EXPECT_EQ(calls[3].function, "vl_Mathematical2RealWorldAzimuth");
  EXPECT_EQ(calls[3].arguments, (std::vector<double>{calls[2].results[0]}));
  vl::ClearCalls();
  EXPECT_TRUE(vl::Calls().empty());
}

}  // namespace
