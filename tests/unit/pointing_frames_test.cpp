// Conversions between the sky frame and the horizon frame through the host's
// vl_ functions (the stand-in host's real astronomy, with its call log).
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "astro.h"
#include "astro_vl.h"
#include "pointing/pointing.h"

namespace {

namespace vl = astro::vl;

constexpr std::int32_t kContext = 0x5150;
const astro::Site kSite{40.0 * astro::kDegree, -3.7 * astro::kDegree};
constexpr double kJulianDate = 2460300.75;

class FramesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vl::ClearContexts();
    vl::SetContext(kContext, kSite, kJulianDate);
    vl::SetLeaveAzimuthUnwritten(false);
    vl::ClearCalls();
  }
  void TearDown() override {
    vl::SetLeaveAzimuthUnwritten(false);
    vl::ClearContexts();
  }
};

std::vector<std::string> Names(const std::vector<vl::Call>& calls) {
  std::vector<std::string> names;
  for (const auto& c : calls) names.push_back(c.function);
  return names;
}

TEST_F(FramesTest, EquatorialToHorizonCallsTheHostInOrderWithRadiusOne) {
  const auto r = ctl::EquatorialToHorizon(kContext, 1.25, 0.4);
  const auto calls = vl::Calls();
  ASSERT_EQ(Names(calls),
            (std::vector<std::string>{"vl_SphericalToXYZ", "vl_CoordinateConversion",
                                      "vl_XYZToSpherical", "vl_Mathematical2RealWorldAzimuth"}));
  EXPECT_EQ(calls[0].arguments, (std::vector<double>{1.25, 0.4, 1.0}));
  EXPECT_EQ(calls[1].context, kContext);
  EXPECT_EQ(calls[1].from_frame, 6);
  EXPECT_EQ(calls[1].to_frame, 2);
  EXPECT_EQ(calls[1].arguments, calls[0].results) << "the vector goes on unchanged";
  EXPECT_EQ(calls[2].arguments, calls[1].results);
  EXPECT_EQ(calls[3].arguments, (std::vector<double>{calls[2].results[0]}));
  EXPECT_EQ(r.longitude, calls[3].results[0]);
  EXPECT_EQ(r.latitude, calls[2].results[1]);
  EXPECT_EQ(r.radius, calls[2].results[2]);
}

TEST_F(FramesTest, EquatorialToHorizonGivesTheSitesRealWorldAzimuthAndAltitude) {
  const astro::Equatorial star{1.25, 0.4};
  const astro::Horizontal expected = astro::EquatorialToHorizontal(star, kSite, kJulianDate);
  const auto r = ctl::EquatorialToHorizon(kContext, star.ra, star.dec);
  EXPECT_NEAR(std::remainder(r.longitude - expected.azimuth, 2 * astro::kPi), 0.0, 1e-9);
  EXPECT_NEAR(r.latitude, expected.altitude, 1e-9);
  EXPECT_NEAR(r.radius, 1.0, 1e-12);
}

TEST_F(FramesTest, AStarOnTheMeridianIsDueSouth) {
  const double lst = astro::LocalSiderealTime(kJulianDate, kSite.longitude);
  const double dec = 10.0 * astro::kDegree;
  const auto r = ctl::EquatorialToHorizon(kContext, lst, dec);
  EXPECT_NEAR(r.longitude, astro::kPi, 0.01);  // within the sky frame's precession
  EXPECT_NEAR(r.latitude, astro::kPi / 2 - (kSite.latitude - dec), 0.01);
}

TEST_F(FramesTest, HorizonToEquatorialCallsTheHostInOrderWithRadiusOne) {
  const auto r = ctl::HorizonToEquatorial(kContext, 2.0, 0.5);
  const auto calls = vl::Calls();
  ASSERT_EQ(Names(calls),
            (std::vector<std::string>{"vl_RealWorldAzimuth2Mathematical", "vl_SphericalToXYZ",
                                      "vl_CoordinateConversion", "vl_XYZToSpherical"}));
  EXPECT_EQ(calls[0].arguments, (std::vector<double>{2.0}));
  EXPECT_EQ(calls[1].arguments, (std::vector<double>{calls[0].results[0], 0.5, 1.0}));
  EXPECT_EQ(calls[2].context, kContext);
  EXPECT_EQ(calls[2].from_frame, 2);
  EXPECT_EQ(calls[2].to_frame, 6);
  EXPECT_EQ(calls[2].arguments, calls[1].results);
  EXPECT_EQ(calls[3].arguments, calls[2].results);
  EXPECT_EQ(r.longitude, calls[3].results[0]);
  EXPECT_EQ(r.latitude, calls[3].results[1]);
  EXPECT_EQ(r.radius, calls[3].results[2]);
}

TEST_F(FramesTest, TheTwoConversionsUndoEachOther) {
  for (double ra : {0.1, 2.0, 4.5, 6.0}) {
    for (double dec : {-1.2, -0.3, 0.0, 0.7, 1.5}) {
      const auto h = ctl::EquatorialToHorizon(kContext, ra, dec);
      const auto e = ctl::HorizonToEquatorial(kContext, h.longitude, h.latitude);
      EXPECT_NEAR(std::remainder(e.longitude - ra, 2 * astro::kPi), 0.0, 1e-9) << ra << " " << dec;
      EXPECT_NEAR(e.latitude, dec, 1e-9) << ra << " " << dec;
    }
  }
}

TEST_F(FramesTest, HostContextZeroIsPassedUnchanged) {
  ctl::EquatorialToHorizon(0, 1.0, 0.2);
  ctl::HorizonToEquatorial(0, 1.0, 0.2);
  int conversions = 0;
  for (const auto& c : vl::Calls()) {
    if (c.function == "vl_CoordinateConversion") {
      ++conversions;
      EXPECT_EQ(c.context, 0);
    }
  }
  EXPECT_EQ(conversions, 2);
}

TEST_F(FramesTest, AnAzimuthTheHostLeavesUnwrittenReadsZero) {
  vl::SetLeaveAzimuthUnwritten(true);
  const auto h = ctl::EquatorialToHorizon(kContext, 1.0, 0.2);
  EXPECT_EQ(h.longitude, 0.0);
  vl::ClearCalls();
  ctl::HorizonToEquatorial(kContext, 1.0, 0.2);
  const auto calls = vl::Calls();
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls[1].function, "vl_SphericalToXYZ");
  EXPECT_EQ(calls[1].arguments[0], 0.0) << "the longitude used is 0.0";
}

}  // namespace
