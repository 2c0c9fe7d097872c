// Calibration from end to end: the real Controller.plug, loaded by the test
// host, talks to the simulated setting-circle box on a real pseudo-terminal.
// The box's telescope has a deliberate mount error (zero offsets and scale
// errors on both axes).  The test points it at catalogue stars, adds and
// sights them through the object menu, calibrates, and compares the
// reported position of a further star with its catalogue position before
// and after.
#include <gtest/gtest.h>

#include <algorithm>
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

constexpr std::int32_t kContext = 77;
constexpr std::int32_t kResolution = 36000;  // counts per turn: 0.6 arcminute a count
// 2026-03-20 22:00 UT: a spring evening at the default site.
constexpr double kJulianDate = 2461120.416667;

struct Mount {
  const char* name;
  dscsim::Mount sim;
  const char* profile;
};

class CalibrationEndToEndTest : public ::testing::TestWithParam<Mount> {
 protected:
  void SetUp() override {
    wsm::Reset();
    astro::vl::ClearContexts();
    astro::vl::SetContext(kContext, astro::vl::kDefaultSite, kJulianDate);
    ASSERT_TRUE(plugin_.Loaded()) << plugin_.Error();

    dscsim::SkyModel model;
    model.site = astro::vl::kDefaultSite;
    model.mount = GetParam().sim;
    model.connect_julian_date = kJulianDate;
    model.axis1 = {kResolution, 0.004, 1.5 * astro::kDegree};
    model.axis2 = {kResolution, -0.003, -0.8 * astro::kDegree};
    box_.SetSkyModel(model);
    std::string error;
    ASSERT_TRUE(box_.Start(&error)) << error;
    config_.LinkPort("COM1", box_.SlavePath());
    config_.WriteProfile(std::string("[ZazuvUzarDLL]\nResRA=36000\nResDec=36000\nCommPort=COM1\n") +
                         "MountType=" + GetParam().profile + "\nPCode=ON\n");

    std::vector<std::uint8_t> registration(801, 0);
    testhost::PutI32(registration, 0, 4);
    plugin_.Call(0, registration);
    std::vector<std::uint8_t> context(16, 0);
    testhost::PutI32(context, 12, kContext);
    plugin_.Call(39, context);
    plugin_.Call(26, 0);
    ASSERT_TRUE(Connected()) << (wsm::TheLog().boxes.empty() ? "" : wsm::TheLog().boxes[0].text);
  }

  void TearDown() override {
    plugin_.Call(27, 0);
    astro::vl::ClearContexts();
  }

  bool Connected() { return testhost::Connected(plugin_); }

  void MenuCommand(std::int32_t command, const astro::Star& star) {
    auto block = testsupport::ObjectMenuBlock(command, star.name, star.ra, star.dec);
    plugin_.Call(15, block);
  }

  // Where the plug-in reports the telescope (operation 21), aimed at `star`.
  astro::Equatorial ReportedAt(const astro::Star& star) {
    box_.PointAt(star.ra, star.dec, kJulianDate);
    std::vector<std::uint8_t> record(400, 0);
    testhost::PutI32(record, 320, kContext);
    plugin_.Call(21, record);
    EXPECT_EQ(record[0], 1) << "no position reported";
    return {testhost::GetF64(record, 8), testhost::GetF64(record, 16)};
  }

  double ErrorArcminutes(const astro::Star& star) {
    return astro::AngularSeparation(ReportedAt(star), star.position()) / astro::kArcminute;
  }

  // The first-axis and second-axis catalogue angles of a star on this mount.
  static std::pair<double, double> Axes(const astro::Star& star) {
    if (GetParam().sim == dscsim::Mount::kEquatorial) return {star.ra, star.dec};
    const astro::Horizontal h =
        astro::EquatorialToHorizontal(star.position(), astro::vl::kDefaultSite, kJulianDate);
    return {h.azimuth, h.altitude};
  }

  // Stars in one stretch of each axis, in first-axis order.  Neither the
  // encoders' count of turns nor the fit crosses a wrap: the equatorial
  // first axis wraps half a turn from the reference point's right ascension
  // (2.5 hours) and at 0; the alt-azimuth first axis wraps in the south
  // (half a turn from the reference point's azimuth, near north) and in the
  // north.  Poles and horizon are kept away from.
  static std::vector<const astro::Star*> Candidates(double low_first, double high_first) {
    const bool alt_azimuth = GetParam().sim == dscsim::Mount::kAltAzimuth;
    const double low_second = alt_azimuth ? 15.0 : -45.0, high_second = alt_azimuth ? 70.0 : 65.0;
    std::vector<const astro::Star*> stars;
    for (const astro::Star& star : astro::BrightStars()) {
      const auto [first, second] = Axes(star);
      if (first < low_first * astro::kDegree || first > high_first * astro::kDegree) continue;
      if (second < low_second * astro::kDegree || second > high_second * astro::kDegree) continue;
      stars.push_back(&star);
    }
    std::sort(stars.begin(), stars.end(), [](const astro::Star* a, const astro::Star* b) {
      return Axes(*a).first < Axes(*b).first;
    });
    return stars;
  }
  static std::vector<const astro::Star*> Candidates() {
    if (GetParam().sim == dscsim::Mount::kEquatorial) return Candidates(60.0, 200.0);
    std::vector<const astro::Star*> east = Candidates(20.0, 160.0);
    std::vector<const astro::Star*> west = Candidates(200.0, 340.0);
    return east.size() >= west.size() ? east : west;
  }

  testsupport::TempConfigDir config_;
  dscsim::Box box_;
  testhost::Plugin plugin_;
};

TEST_P(CalibrationEndToEndTest, SightedStarsCorrectTheReportedPosition) {
  const std::vector<const astro::Star*> candidates = Candidates();
  ASSERT_GE(candidates.size(), 6u);
  const std::size_t last = candidates.size() - 1;
  const std::vector<const astro::Star*> sighted = {candidates[0], candidates[last / 3],
                                                   candidates[2 * last / 3], candidates[last]};
  const astro::Star& further = *candidates[last / 2];
  for (const astro::Star* star : sighted) ASSERT_NE(star, &further);

  const double before = ErrorArcminutes(further);

  for (const astro::Star* star : sighted) {
    MenuCommand(20002, *star);
    box_.PointAt(star->ra, star->dec, kJulianDate);
    MenuCommand(20004, *star);
  }
  ASSERT_TRUE(wsm::TheLog().boxes.empty()) << wsm::TheLog().boxes[0].text;
  MenuCommand(20001, further);  // the command ignores the object it came with
  ASSERT_EQ(wsm::TheLog().boxes.size(), 1u);
  EXPECT_EQ(wsm::TheLog().boxes[0].caption, "Telecope Calibrated");

  const double after = ErrorArcminutes(further);

  std::string names;
  for (const astro::Star* star : sighted)
    names += std::string(names.empty() ? "" : ", ") + star->name;
  std::printf(
      "[ %s mount ] sighted %s; %s off its catalogue position by %.2f arcmin before "
      "calibration, %.2f arcmin after\n[ %s mount ] %s\n",
      GetParam().name, names.c_str(), further.name, before, after, GetParam().name,
      wsm::TheLog().boxes[0].text.c_str());
  RecordProperty("error_before_arcmin", std::to_string(before));
  RecordProperty("error_after_arcmin", std::to_string(after));

  EXPECT_GT(before, 60.0) << "the mount error should show before calibration";
  EXPECT_LT(after, before);
  EXPECT_LT(after, 2.0) << "a few counts of 0.6 arcminute at most";

  for (const astro::Star* star : sighted) MenuCommand(20003, *star);
}

INSTANTIATE_TEST_SUITE_P(Mounts, CalibrationEndToEndTest,
                         ::testing::Values(Mount{"EQ", dscsim::Mount::kEquatorial, "EQ"},
                                           Mount{"AA", dscsim::Mount::kAltAzimuth, "AA"}),
                         [](const ::testing::TestParamInfo<Mount>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
