// The guided session's choice of calibration stars, the share of the sky a
// set leaves outside its span, the calibration chart's scale bar, the night
// chart's grid and the charts' text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <vector>

#include "chart.h"
#include "guide.h"
#include "host_test_support.h"
#include "temp_config.h"

namespace {

using astro::kDegree;

const astro::Site kGreenwich{51.4769 * kDegree, 0.0};

TEST(GuideChoice, StarsAreUpSpreadAndAwayFromTheCountersSeam) {
  for (const bool alt_azimuth : {false, true}) {
    for (const double jd : {2461000.25, 2461100.5, 2461200.75}) {
      const double reference_first =
          host::AxesOf({0.665777659788, 1.55817662667}, alt_azimuth, kGreenwich, jd).first;
      const auto stars =
          host::ChooseCalibrationStars(kGreenwich, jd, alt_azimuth, reference_first, 4);
      ASSERT_EQ(stars.size(), 4u) << jd;
      const double seam = astro::WrapTwoPi(reference_first + astro::kPi);
      for (std::size_t i = 0; i < stars.size(); ++i) {
        const astro::Horizontal h =
            astro::EquatorialToHorizontal(stars[i]->position(), kGreenwich, jd);
        EXPECT_GE(h.altitude, 15 * kDegree) << stars[i]->name;
        const double first = host::AxesOf(stars[i]->position(), alt_azimuth, kGreenwich, jd).first;
        EXPECT_GT(std::fabs(astro::WrapPi(first - seam)), 4 * kDegree) << stars[i]->name;
        for (std::size_t j = 0; j < i; ++j) {
          EXPECT_GT(astro::AngularSeparation(stars[i]->position(), stars[j]->position()),
                    10 * kDegree);
        }
      }
      // A set of its own is never chosen again.
      const auto others =
          host::ChooseCalibrationStars(kGreenwich, jd, alt_azimuth, reference_first, 2, stars);
      for (const astro::Star* s : others) {
        EXPECT_EQ(std::find(stars.begin(), stars.end(), s), stars.end()) << s->name;
      }
    }
  }
}

// The calibration fits across 0h, so a night whose sky lies around 0h gets
// stars from both sides of it rather than half the sky.
TEST(GuideChoice, ASkyAroundZeroHoursGivesStarsEitherSideOfIt) {
  bool either_side = false;
  for (double jd = 2461000.0; jd < 2461001.0 && !either_side; jd += 0.125) {
    const double reference_first = host::AxesOf({0.6658, 1.5582}, false, kGreenwich, jd).first;
    bool early = false, late = false;
    for (const astro::Star* s :
         host::ChooseCalibrationStars(kGreenwich, jd, false, reference_first, 4)) {
      early = early || s->ra < 6 * astro::kHour;
      late = late || s->ra > 18 * astro::kHour;
    }
    either_side = early && late;
  }
  EXPECT_TRUE(either_side);
}

TEST(GuideChoice, ATightSetLeavesMostOfTheSkyOutside) {
  const double jd = 2461000.25;
  // Three stars of Orion's belt region, a few degrees apart: a tiny span.
  std::vector<const astro::Star*> tight;
  for (const char* name : {"Betelgeuse", "Bellatrix", "Rigel"}) {
    tight.push_back(astro::FindStar(name));
    ASSERT_NE(tight.back(), nullptr) << name;
  }
  const double reference_first = host::AxesOf({0.6658, 1.5582}, false, kGreenwich, jd).first;
  const auto spread = host::ChooseCalibrationStars(kGreenwich, jd, false, reference_first, 4);
  const double tight_outside = host::SkyOutsideSpan(tight, kGreenwich, jd, false, reference_first);
  const double spread_outside =
      host::SkyOutsideSpan(spread, kGreenwich, jd, false, reference_first);
  EXPECT_GT(tight_outside, 0.9);
  EXPECT_LT(spread_outside, tight_outside);
  EXPECT_EQ(host::SkyOutsideSpan(std::vector<const astro::Star*>{tight[0]}, kGreenwich, jd, false,
                                 reference_first),
            1.0);
}

TEST(CalibrationChart, TheScaleBarShowsLargeAndSmallErrors) {
  testsupport::TempConfigDir folder;
  host::TextRenderer text;
  const astro::Equatorial vega{4.873565, 0.676903};
  for (const double error : {20.0 * kDegree, 0.4 * astro::kArcminute}) {
    const std::vector<host::ChartStar> stars{
        {"Vega", vega, {vega.ra, vega.dec + error}, vega, false}};
    const std::string path = (folder.Path() / "chart.png").string();
    std::string why;
    ASSERT_TRUE(host::WriteCalibrationChart(stars, text, path, &why)) << why;
    const hosttest::Picture chart = hosttest::ReadPng(path);
    ASSERT_TRUE(chart.ok());
    // The bar runs right from x = 240 on its row, at least a fifth of the
    // longest offset drawn and never longer.
    int bar = 0;
    while (chart.At(240 + bar, chart.height - 15) == hosttest::Picture::Pixel{220, 220, 230}) ++bar;
    EXPECT_GE(bar, 12) << error;
    EXPECT_LE(bar, 61) << error;
  }
}

}  // namespace

namespace {

using Pixel = hosttest::Picture::Pixel;
const Pixel kChartStar{255, 255, 255}, kChartBefore{255, 80, 64}, kChartAfter{80, 230, 120},
    kChartGrid{48, 56, 88}, kChartLabel{220, 220, 230}, kFirstSeries{255, 210, 0},
    kChartBackground{16, 20, 40};

// A text a chart should show, in the charts' small type.
struct ChartText {
  int x, y;
  std::string text;
  Pixel colour;
};

// Whether the pixels of the text, drawn alone at its place, have the text's
// colour in the chart (nine in ten: a line drawn later may cross it): the
// text is there, at that place.
bool Shows(const hosttest::Picture& chart, host::TextRenderer& renderer, const ChartText& t) {
  host::Canvas alone(chart.width, chart.height);
  const host::Rgb ink{255, 255, 255};
  renderer.Draw(alone, {-12, 0, "Arial"}, t.x, t.y, t.text, ink, {}, false);
  int inked = 0, shown = 0;
  for (int y = 0; y < chart.height; ++y) {
    for (int x = 0; x < chart.width; ++x) {
      if (alone.Pixel(x, y) != ink) continue;
      ++inked;
      shown += chart.At(x, y) == t.colour;
    }
  }
  return inked > 0 && shown * 10 >= inked * 9;
}

// Two stars 0.2 rad apart in both axes: the first at the chart's right top
// (710, 110), the second at its left bottom (90, 410); 12' before
// calibration is the longest offset, drawn 60 pixels long (5 pixels an
// arcminute), and the scale bar is 10', 50 pixels.
TEST(CalibrationChart, StarsAndOffsetsLandWhereTheirAnglesSay) {
  testsupport::TempConfigDir folder;
  host::TextRenderer text;
  const astro::Equatorial a{1.0, 0.5}, b{1.2, 0.3};
  const double arcmin = astro::kArcminute;
  const std::vector<host::ChartStar> stars{
      {"A", a, {a.ra, a.dec + 12 * arcmin}, {a.ra - 2 * arcmin / std::cos(a.dec), a.dec}, false},
      {"B", b, {b.ra, b.dec - 5 * arcmin}, b, true}};
  const std::string path = (folder.Path() / "chart.png").string();
  std::string why;
  ASSERT_TRUE(host::WriteCalibrationChart(stars, text, path, &why)) << why;
  const hosttest::Picture chart = hosttest::ReadPng(path);
  ASSERT_TRUE(chart.ok());
  const struct {
    int x, y;
    Pixel colour;
  } expected[] = {
      {705, 110, kChartStar},
      {710, 115, kChartStar},
      {706, 110, kChartBackground},  // the first star's circle, a ring
      {710, 80, kChartBefore},
      {710, 51, kChartBefore},  // 12' north, 60 pixels up
      {708, 48, kChartBefore},
      {706, 46, kChartBefore},  // its cross
      {714, 54, kChartBefore},
      {715, 54, kChartBackground},  // whose arms end 4 pixels from its centre
      {718, 110, kChartAfter},
      {720, 110, kChartAfter},  // 2' west after: 10 pixels right
      {90, 425, kChartBefore},
      {90, 435, kChartBefore},        // 5' south of the second: 25 down
      {95, 410, Pixel{255, 210, 0}},  // a further star's circle is yellow
      {710, 300, kChartGrid},
      {400, 192, kChartGrid},  // grid lines
      {289, 545, kChartLabel},
      {290, 541, kChartLabel},  // the 10' bar: 50 pixels from x = 240
      {240, 541, kChartLabel},
      {240, 540, kChartBackground},
      {290, 549, kChartBackground},  // its ticks 8 pixels high
      {710, 40, Pixel{16, 20, 40}},
  };
  for (const auto& e : expected) {
    EXPECT_EQ(chart.At(e.x, e.y), e.colour) << e.x << ", " << e.y;
  }
  EXPECT_NE(chart.At(291, 545), kChartLabel);
  // Each star's errors beside it, and the bar's length beside the bar.
  for (const ChartText& t :
       {ChartText{720, 131, "before 12.0'", kChartBefore},
        ChartText{720, 146, "after 2.0'", kChartAfter}, ChartText{300, 538, "10'", kChartLabel}}) {
    EXPECT_TRUE(Shows(chart, text, t)) << t.text;
  }
}

// Hours 0, 2, 4 with errors 1', 2', 1' and a limit of 1.5', on the
// logarithmic scale from a quarter of the limit (0.375') to twice it (3'):
// 1' sits at y 293, 2' at y 146 and the limit at y 207, and the hours at x
// 70, 320 and 570.
TEST(NightChart, PointsLinesAndTheLimitLandWhereTheirValuesSay) {
  testsupport::TempConfigDir folder;
  host::TextRenderer text;
  // And a dashed one at 0.7' (y 368), two dashes a step: x 70 to 194 and 320 to 444.
  const std::vector<host::NightSeries> series{{"S", {0.0, 2.0, 4.0}, {1.0, 2.0, 1.0}},
                                              {"D", {0.0, 4.0}, {0.7, 0.7}, true}};
  const std::string path = (folder.Path() / "night.png").string();
  std::string why;
  ASSERT_TRUE(host::WriteNightChart(series, 1.5, text, path, &why)) << why;
  const hosttest::Picture chart = hosttest::ReadPng(path);
  ASSERT_TRUE(chart.ok());
  const struct {
    int x, y;
    Pixel colour;
  } expected[] = {
      {70, 293, kFirstSeries},     {72, 293, kFirstSeries},
      {320, 146, kFirstSeries},    {570, 293, kFirstSeries},
      {80, 207, kChartBefore},     {76, 207, Pixel{16, 20, 40}},
      {445, 400, kChartGrid},      {600, 420, Pixel{16, 20, 40}},
      {71, 501, kChartBackground},  // no point beyond the last one
      {86, 207, kChartBefore},      // the limit's dashes, every 8 pixels
      {150, 368, kChartAfter},     {250, 368, kChartBackground},
      {400, 368, kChartAfter},
  };
  for (const auto& e : expected) {
    EXPECT_EQ(chart.At(e.x, e.y), e.colour) << e.x << ", " << e.y;
  }
  // The limit named above its line, each series named at the right, the hours below.
  for (const ChartText& t :
       {ChartText{400, 189, "two encoder counts (1.5')", kChartBefore},
        ChartText{580, 60, "S", kFirstSeries}, ChartText{580, 76, "D", kChartAfter},
        ChartText{70, 536,
                  "hours since calibration (simulated time); error of the reported position, "
                  "arcminutes",
                  kChartLabel}}) {
    EXPECT_TRUE(Shows(chart, text, t)) << t.text;
  }
}

// The scale bar for errors of a fraction of an arcsecond: the longest offset
// is drawn 60 pixels long and the bar is the longest round step that fits.
TEST(CalibrationChart, TheScaleBarOfFineErrorsIsItsRoundStepLong) {
  testsupport::TempConfigDir folder;
  host::TextRenderer text;
  const astro::Equatorial a{1.0, 0.5};
  const struct {
    double error_arcsec;
    int bar_pixels;
  } cases[] = {{0.25, 48}, {0.6, 50}, {1.2, 50}, {35.0, 51}};  // bars of 0.2", 0.5", 1", 30"
  for (const auto& c : cases) {
    const double error = c.error_arcsec / 60 * astro::kArcminute;
    const std::vector<host::ChartStar> stars{{"A", a, {a.ra, a.dec + error}, a, false}};
    const std::string path = (folder.Path() / "fine.png").string();
    std::string why;
    ASSERT_TRUE(host::WriteCalibrationChart(stars, text, path, &why)) << why;
    const hosttest::Picture chart = hosttest::ReadPng(path);
    ASSERT_TRUE(chart.ok());
    int run = 0;  // the bar and its end tick
    while (chart.At(240 + run, chart.height - 15) == kChartLabel) ++run;
    EXPECT_EQ(run, c.bar_pixels + 1) << c.error_arcsec;
  }
}

// A grid value at the plot's top or bottom is drawn: the top is twice the
// limit (10' a decade, 5'), the bottom a quarter of it (1').
TEST(NightChart, GridLinesAtTheTopAndBottomAreDrawn) {
  testsupport::TempConfigDir folder;
  host::TextRenderer text;
  const struct {
    double limit;
    int grid_y;
  } cases[] = {{5.0, 60}, {2.5, 60}, {4.0, 500}};
  for (const auto& c : cases) {
    const std::string path = (folder.Path() / "grid.png").string();
    std::string why;
    ASSERT_TRUE(host::WriteNightChart({}, c.limit, text, path, &why)) << why;
    const hosttest::Picture chart = hosttest::ReadPng(path);
    ASSERT_TRUE(chart.ok());
    EXPECT_EQ(chart.At(300, c.grid_y), kChartGrid) << c.limit;
  }
}

// Text runs right from where it is drawn: nothing of "H" left of x = 20.
TEST(ChartText, GlyphsRunRightFromThePen) {
  host::TextRenderer text;
  host::Canvas canvas(100, 40);
  const host::Rgb white{255, 255, 255};
  ASSERT_TRUE(text.Draw(canvas, {-16, 0, "Arial"}, 20, 10, "HH", white, {}, false));
  int left = 0, right = 0;
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 100; ++x) {
      if (canvas.Pixel(x, y) == white) ++(x < 20 ? left : right);
    }
  }
  EXPECT_EQ(left, 0);
  EXPECT_GT(right, 20);
  // A face named as it is installed is that face.
  const std::string family = text.FamilyFor("Arial");
  EXPECT_EQ(text.FamilyFor(family), family);
  // Type as large as 200 pixels an em is as wide and as high as its face's
  // metrics say: the "M" of Arial's metrics is 1706/2048 of an em wide, 167
  // pixels, and 1409/2048 high, 138 pixels.
  if (family == "Liberation Sans" || family == "Arimo") {
    EXPECT_NEAR(text.Measure({-200, 0, "Arial"}, "MMMMMMMMMM"), 1666, 10);
    host::Canvas large(200, 260);
    ASSERT_TRUE(text.Draw(large, {-200, 0, "Arial"}, 0, 0, "M", white, {}, false));
    int rows = 0;
    for (int y = 0; y < large.height(); ++y) {
      bool inked = false;
      for (int x = 0; x < large.width(); ++x) inked = inked || large.Pixel(x, y) == white;
      rows += inked;
    }
    EXPECT_NEAR(rows, 138, 1);
  }
}

}  // namespace
