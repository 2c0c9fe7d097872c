// A night at the telescope, in simulated time: the real Controller.plug,
// loaded by the test host, reads the simulated box on a real pseudo-terminal
// while the host's clock (its host context and the day number of operation
// 34) runs through six hours.  The mount has zero offsets and scale errors on
// both axes.  After calibrating on a set of stars (Polaris among them on the
// alt-azimuth mount, stars either side of 0h on the equatorial one), every
// calibration star and further stars are checked every hour: the reported
// position stays within two encoder counts of the star's true place on both
// axes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "astro.h"
#include "astro_vl.h"
#include "dsc_sim.h"
#include "plugin_loader.h"
#include "temp_config.h"
#include "test_blocks.h"
#include "window_system_model.h"

namespace {

constexpr std::int32_t kContext = 23;
constexpr std::int32_t kResolution = 8192;
constexpr double kCount = astro::kTwoPi / kResolution;  // 2.6 arcminutes
constexpr int kHours = 6;
// 2026-11-04 23:31 UT at the default site: the reference point (the
// plug-in's default, near the pole) stands on the meridian, so the
// equatorial encoder's half-turn lies below the pole all night.
constexpr double kStart = 2461349.48;

double g_now = kStart;
double SimulatedNow() { return g_now; }

struct Night {
  const char* name;
  dscsim::Mount mount;
  const char* profile;
  std::vector<const char*> calibration;
  std::vector<const char*> further;
};

class NightTest : public ::testing::TestWithParam<Night> {
 protected:
  void SetUp() override {
    wsm::Reset();
    astro::vl::ClearContexts();
    astro::vl::SetContextClock(kContext, astro::vl::kDefaultSite, &SimulatedNow);
    ASSERT_TRUE(plugin_.Loaded()) << plugin_.Error();

    dscsim::SkyModel model;
    model.site = astro::vl::kDefaultSite;
    model.mount = GetParam().mount;
    model.connect_julian_date = kStart;
    model.axis1 = {kResolution, 0.012, -0.6 * astro::kDegree};
    model.axis2 = {kResolution, -0.008, -0.7 * astro::kDegree};
    box_.SetSkyModel(model);
    std::string error;
    ASSERT_TRUE(box_.Start(&error)) << error;
    config_.LinkPort("COM1", box_.SlavePath());
    config_.WriteProfile(std::string("[ZazuvUzarDLL]\nResRA=8192\nResDec=8192\nCommPort=COM1\n") +
                         "MountType=" + GetParam().profile + "\nPCode=OFF\n");

    testhost::Register(plugin_);
    std::vector<std::uint8_t> context(16, 0);
    testhost::PutI32(context, 12, kContext);
    plugin_.Call(39, context);
    SetNow(kStart);
    plugin_.Call(26, 0);
    ASSERT_TRUE(testhost::Connected(plugin_));
  }
  void TearDown() override {
    plugin_.Call(27, 0);
    astro::vl::ClearContexts();
  }

  // The host's clock: its context and the day number it hands over.
  void SetNow(double julian_date) {
    g_now = julian_date;
    testhost::SetTime(plugin_, astro::SiderealDayNumber(julian_date));
  }
  static astro::Sky SkyNow() { return astro::Sky(g_now, astro::vl::kDefaultSite); }
  static const astro::Star& Star(const char* name) {
    const astro::Star* star = astro::FindStar(name);
    EXPECT_NE(star, nullptr) << name;
    return *star;
  }
  void MenuCommand(std::int32_t command, const astro::Star& star) {
    const astro::Equatorial apparent = SkyNow().Apparent(star);
    auto block = testsupport::ObjectMenuBlock(command, star.name, apparent.ra, apparent.dec);
    plugin_.Call(15, block);
  }

  // The telescope on `star`: the error of the reported position on each
  // axis, in encoder counts (hour angle and declination, or azimuth and
  // altitude).
  std::pair<double, double> ErrorCounts(const astro::Star& star) {
    const astro::Sky sky = SkyNow();
    const astro::Equatorial truth = sky.Apparent(star);
    box_.PointAt(truth.ra, truth.dec, g_now);
    std::vector<std::uint8_t> record(400, 0);
    testhost::PutI32(record, 320, kContext);
    plugin_.Call(21, record);
    EXPECT_EQ(record[0], 1) << "no position for " << star.name;
    const astro::Equatorial reported{testhost::GetF64(record, 8), testhost::GetF64(record, 16)};
    if (GetParam().mount == dscsim::Mount::kEquatorial) {
      return {std::fabs(astro::WrapPi(reported.ra - truth.ra)) / kCount,
              std::fabs(reported.dec - truth.dec) / kCount};
    }
    const astro::Horizontal seen = sky.Observed(reported);
    const astro::Horizontal true_place = sky.Observed(truth);
    return {std::fabs(astro::WrapPi(seen.azimuth - true_place.azimuth)) / kCount,
            std::fabs(seen.altitude - true_place.altitude) / kCount};
  }

  // Polaris's encoder azimuth (what the plug-in records: the horizon
  // reference point plus the counts) and its azimuth lie either side of 0/2π,
  // the case the calibration has to bridge.
  void ExpectEitherSideOfNorth(const astro::Star& polaris) {
    const astro::Horizontal reference =
        astro::Sky(kStart, astro::vl::kDefaultSite)
            .Observed(astro::Equatorial{0.665777659788, 1.55817662667});
    const double encoder = astro::WrapTwoPi(reference.azimuth + box_.Counts().first * kCount);
    const double azimuth = SkyNow().Observed(polaris).azimuth;
    EXPECT_NE(encoder < astro::kPi, azimuth < astro::kPi)
        << "encoder " << encoder / astro::kDegree << " azimuth " << azimuth / astro::kDegree;
  }

  testsupport::TempConfigDir config_;
  dscsim::Box box_{dscsim::Box::Options{false, 9600, 1}};
  testhost::Plugin plugin_;
};

TEST_P(NightTest, EveryStarStaysWithinTwoCountsForSixHours) {
  const Night& night = GetParam();
  double when = kStart;
  for (const char* name : night.calibration) {
    when += 2.0 / 1440.0;  // two minutes to find and centre each star
    SetNow(when);
    MenuCommand(20002, Star(name));
    box_.PointAt(SkyNow().Apparent(Star(name)).ra, SkyNow().Apparent(Star(name)).dec, g_now);
    MenuCommand(20004, Star(name));
    if (std::string(name) == "Polaris") ExpectEitherSideOfNorth(Star(name));
  }
  MenuCommand(20001, Star(night.calibration[0]));
  ASSERT_EQ(wsm::TheLog().boxes.size(), 1u);
  ASSERT_EQ(wsm::TheLog().boxes[0].caption, "Telecope Calibrated") << wsm::TheLog().boxes[0].text;

  std::vector<const char*> stars = night.calibration;
  stars.insert(stars.end(), night.further.begin(), night.further.end());
  std::printf("[ %s ] worst error in encoder counts (first axis, second axis), by hour:\n",
              night.name);
  for (int hour = 0; hour <= kHours; ++hour) {
    SetNow(when + hour / 24.0);
    double worst1 = 0.0, worst2 = 0.0;
    const char* worst_star = "";
    for (const char* name : stars) {
      const auto [e1, e2] = ErrorCounts(Star(name));
      if (std::fmax(e1, e2) > std::fmax(worst1, worst2)) worst_star = name;
      worst1 = std::fmax(worst1, e1);
      worst2 = std::fmax(worst2, e2);
      EXPECT_LE(e1, 2.0) << name << " at hour " << hour;
      EXPECT_LE(e2, 2.0) << name << " at hour " << hour;
    }
    std::printf("[ %s ]   hour %d: %.2f, %.2f (%s)\n", night.name, hour, worst1, worst2,
                worst_star);
    RecordProperty("worst_counts_hour_" + std::to_string(hour), std::fmax(worst1, worst2));
  }
  EXPECT_EQ(wsm::TheLog().boxes.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Mounts, NightTest,
    ::testing::Values(
        Night{"EQ",
              dscsim::Mount::kEquatorial,
              "EQ",
              // Alderamin (21h) and Caph (0h09m) lie either side of 0h.
              {"Alderamin", "Caph", "Mirfak", "Aldebaran", "Betelgeuse", "Pollux"},
              {"Schedar", "Almach", "Algol", "Capella", "Elnath", "Castor", "Menkalinan"}},
        Night{"AA",
              dscsim::Mount::kAltAzimuth,
              "AA",
              {"Polaris", "Mirach", "Caph", "Alderamin", "Kochab", "Mizar", "Dubhe", "Merak"},
              {"Schedar", "Alioth", "Eltanin", "Almach", "Hamal"}}),
    [](const ::testing::TestParamInfo<Night>& info) { return std::string(info.param.name); });

}  // namespace
