// The debug window page as the window system records it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "diagnostics/diagnostics.h"
#include "fake_platform.h"
#include "state/state.h"
#include "window_system_model.h"

namespace {

constexpr wsm::Handle kWindow = 0x7700;
constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kYellow = 0x00FFFF;  // COLORREF 0x00BBGGRR
constexpr std::uint32_t kRed = 0x0000FF;
constexpr std::uint32_t kDarkGrey = 0x404040;

struct Text {
  int x, y;
  std::string text;
};

std::vector<Text> Texts() {
  std::vector<Text> texts;
  for (const wsm::DrawCall& call : wsm::TextsDrawn()) texts.push_back({call.x, call.y, call.text});
  return texts;
}

// The one text drawn at (x, y); fails the test when there is not exactly one.
wsm::DrawCall At(int x, int y) {
  std::vector<wsm::DrawCall> found;
  for (const wsm::DrawCall& call : wsm::TextsDrawn()) {
    if (call.x == x && call.y == y) found.push_back(call);
  }
  EXPECT_EQ(found.size(), 1u) << "texts at (" << x << ", " << y << ")";
  return found.empty() ? wsm::DrawCall{} : found[0];
}

ctl::CalibrationEntry Entry(const char* name, int sighted, double c1, double c2, double e1 = 0.0,
                            double e2 = 0.0) {
  ctl::CalibrationEntry entry;
  std::strncpy(entry.name, name, sizeof entry.name - 1);
  entry.sighted = sighted;
  entry.catalogue1 = c1;
  entry.catalogue2 = c2;
  entry.encoder1 = e1;
  entry.encoder2 = e2;
  return entry;
}

class DebugWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ctl::ResetState();
    wsm::Reset();
    wsm::TheBehaviour().visible_windows.insert(kWindow);
    fake::SetMillisecondsSinceLoad(20'000);
    record_.angle1 = 0.665777659788;
    record_.angle2 = 1.55817662667;
    record_.degrees1 = 5.5;
    record_.degrees2 = 359.994;
    record_.status = 7;
  }
  void TearDown() override { fake::SetMillisecondsSinceLoad(0); }
  ctl::EncoderRecord record_;
};

TEST_F(DebugWindowTest, EquatorialPageTextsPositionsAndColours) {
  ctl::State().host_time.day_number = 2451545.25;
  ctl::DrawDebugWindow(kWindow, record_);
  const std::vector<Text> expected = {
      {15, 15, " ENCODER DEG        RADIANS          COORDINATES"},
      {20, 25, "RA"},
      {65, 25, "DEC"},
      {110, 25, "RA"},
      {145, 25, "DEC"},
      {185, 25, "RA"},
      {240, 25, "DEC"},
      {20, 40, "005.50 "},
      {65, 40, "359.99 "},
      {110, 40, "0.67 "},
      {145, 40, "1.56 "},
      {185, 40, "02:32:35  "},
      {240, 40, "89:16:36  "},
      {65, 55, "TIME LAPSED: 00020"},
      {185, 55, "STATUS:"},
      {240, 55, "007   "},
      {20, 187, "VLX TIME: 2451545.250000"},
  };
  const std::vector<Text> texts = Texts();
  ASSERT_EQ(texts.size(), 33u) << "17 texts and two for each of the eight places";
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(texts[i].x, expected[i].x) << i;
    EXPECT_EQ(texts[i].y, expected[i].y) << i;
    EXPECT_EQ(texts[i].text, expected[i].text) << i;
  }
  for (const wsm::DrawCall& call : wsm::TextsDrawn()) {
    EXPECT_EQ(call.text_colour, kWhite) << call.text;
    EXPECT_EQ(call.bk_colour, kDarkGrey) << call.text;
    EXPECT_TRUE(call.ok);
  }
}

TEST_F(DebugWindowTest, EightPlaceholderLinesWithoutEntries) {
  ctl::DrawDebugWindow(kWindow, record_);
  const std::vector<Text> texts = Texts();
  ASSERT_EQ(texts.size(), 33u);
  for (int i = 0; i < 8; ++i) {
    const Text& marker = texts[17 + 2 * i];
    const Text& line = texts[18 + 2 * i];
    EXPECT_EQ(marker.x, 20);
    EXPECT_EQ(marker.y, 70 + 15 * i);
    EXPECT_EQ(marker.text, "  ");
    EXPECT_EQ(line.x, 25);
    EXPECT_EQ(line.y, 70 + 15 * i);
    EXPECT_EQ(line.text, std::to_string(i + 1) + ": ---------");
  }
  EXPECT_EQ(texts.back().y, 175);
}

TEST_F(DebugWindowTest, DrawingStateIsSetUpAndGivenBack) {
  ctl::DrawDebugWindow(kWindow, record_);
  const auto& draws = wsm::TheLog().draws;
  ASSERT_FALSE(draws.empty());
  EXPECT_EQ(draws.front().kind, wsm::DrawCall::kGetDC);
  EXPECT_EQ(draws.front().object, kWindow);
  const wsm::Handle dc = draws.front().dc;

  wsm::Handle font = 0, pen = 0;
  int lines = 0, fonts_created = 0;
  for (const wsm::DrawCall& call : draws) {
    if (call.kind == wsm::DrawCall::kCreateFont) {
      ++fonts_created;
      font = call.object;
      EXPECT_EQ(call.font_height, 12);
      EXPECT_EQ(call.font_width, 5);
      EXPECT_EQ(call.text, "Arial");
    }
    if (call.kind == wsm::DrawCall::kStockObject) {
      EXPECT_EQ(call.x, 6) << "WHITE_PEN";
      pen = call.object;
    }
    if (call.kind == wsm::DrawCall::kMoveTo) {
      EXPECT_EQ(call.x, 10);
      EXPECT_EQ(call.y, 65);
    }
    if (call.kind == wsm::DrawCall::kLineTo) {
      ++lines;
      EXPECT_EQ(call.x, 285);
      EXPECT_EQ(call.y, 65);
    }
    if (call.kind == wsm::DrawCall::kTextOut) {
      EXPECT_EQ(call.font, font);
    }
  }
  EXPECT_EQ(fonts_created, 1);
  EXPECT_EQ(lines, 1);
  EXPECT_NE(pen, 0u);

  // The end: previous pen and font back, the context released, the font deleted.
  const std::size_t n = draws.size();
  ASSERT_GE(n, 4u);
  EXPECT_EQ(draws[n - 4].kind, wsm::DrawCall::kSelectObject);
  EXPECT_EQ(draws[n - 4].object, 0x9E00u) << "the fresh context's pen";
  EXPECT_EQ(draws[n - 3].kind, wsm::DrawCall::kSelectObject);
  EXPECT_EQ(draws[n - 3].object, 0x5F0u) << "the fresh context's font";
  EXPECT_EQ(draws[n - 2].kind, wsm::DrawCall::kReleaseDC);
  EXPECT_EQ(draws[n - 2].dc, dc);
  EXPECT_TRUE(draws[n - 2].ok);
  EXPECT_EQ(draws[n - 1].kind, wsm::DrawCall::kDeleteObject);
  EXPECT_EQ(draws[n - 1].object, font);
  EXPECT_TRUE(wsm::TheLog().boxes.empty());
}

TEST_F(DebugWindowTest, AltAzimuthLabelsAndDegreesForTheFirstAxis) {
  ctl::State().settings.MountType = ctl::kAltAzimuth;
  record_.angle1 = 1.0;  // 57 deg 17' 44.8"
  ctl::DrawDebugWindow(kWindow, record_);
  const char* labels[6] = {"AZ", "ALT", "AZ", "ALT", "AZ", "ALT"};
  const int xs[6] = {20, 65, 110, 145, 185, 240};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(At(xs[i], 25).text, labels[i]);
  EXPECT_EQ(At(185, 40).text, "57:17:44  ");
  EXPECT_EQ(At(240, 40).text, "89:16:36  ");
}

TEST_F(DebugWindowTest, EquatorialFirstAxisInHours) {
  record_.angle1 = 1.0;  // 3h 49m 10.98s
  ctl::DrawDebugWindow(kWindow, record_);
  EXPECT_EQ(At(185, 40).text, "03:49:10  ");
}

TEST_F(DebugWindowTest, RadiansWithTwoDecimals) {
  record_.angle1 = 3.14159;
  record_.angle2 = -0.5;
  ctl::DrawDebugWindow(kWindow, record_);
  EXPECT_EQ(At(110, 40).text, "3.14 ");
  EXPECT_EQ(At(145, 40).text, "-0.50 ");
  EXPECT_EQ(At(240, 40).text, "-28:38:52  ");
}

TEST_F(DebugWindowTest, StatusWordColours) {
  struct Case {
    std::int16_t status;
    const char* text;
    std::uint32_t colour;
  };
  for (const Case& c : {Case{255, "OFF", kYellow}, Case{2989, "===", kRed},
                        Case{7, "007   ", kWhite}, Case{-3, "-03   ", kWhite}}) {
    SCOPED_TRACE(c.text);
    wsm::TheLog().draws.clear();
    record_.status = c.status;
    ctl::DrawDebugWindow(kWindow, record_);
    const wsm::DrawCall status = At(240, 55);
    EXPECT_EQ(status.text, c.text);
    EXPECT_EQ(status.text_colour, c.colour);
    EXPECT_EQ(status.bk_colour, kDarkGrey);
    EXPECT_EQ(At(20, 187).text_colour, kWhite) << "white again after the status";
  }
}

TEST_F(DebugWindowTest, ElapsedTimeInWholeSeconds) {
  fake::SetMillisecondsSinceLoad(20'999);
  ctl::DrawDebugWindow(kWindow, record_);
  EXPECT_EQ(At(65, 55).text, "TIME LAPSED: 00020");
  wsm::TheLog().draws.clear();
  fake::SetMillisecondsSinceLoad(999);
  ctl::DrawDebugWindow(kWindow, record_);
  EXPECT_EQ(At(65, 55).text, "TIME LAPSED: 00000");
  wsm::TheLog().draws.clear();
  fake::SetMillisecondsSinceLoad(123'456'000);
  ctl::DrawDebugWindow(kWindow, record_);
  EXPECT_EQ(At(65, 55).text, "TIME LAPSED: 123456");
}

TEST_F(DebugWindowTest, SightedEntryShowsOffsetsAndUnsightedItsCatalogue) {
  ctl::State().settings.MountType = ctl::kAltAzimuth;
  ctl::CalibrationList& list = ctl::State().calibration;
  // Sighted: offsets 0.02 rad (1 deg 8' 45") and -0.01 rad (-0 deg 34' 22").
  list.entries[0] = Entry("Vega", 1, 1.0, 0.5, 1.02, 0.49);
  list.entries[1] = Entry("Deneb", 0, 1.0, -0.5);
  list.count = 2;
  ctl::DrawDebugWindow(kWindow, record_);
  ASSERT_EQ(Texts().size(), 37u);

  EXPECT_EQ(At(20, 70).text, "* ");
  EXPECT_EQ(At(25, 70).text, "1: Vega     ");
  EXPECT_EQ(At(185, 70).text, "01:08:45  ") << "degrees on an alt-azimuth mount";
  EXPECT_EQ(At(240, 70).text, "-00:34:22  ") << "a small negative offset keeps its sign";

  EXPECT_EQ(At(20, 85).text, "  ");
  EXPECT_EQ(At(25, 85).text, "2: Deneb     ");
  EXPECT_EQ(At(185, 85).text, "03:49:10  ") << "catalogue right ascension in hours";
  EXPECT_EQ(At(240, 85).text, "-28:38:52  ");

  for (int i = 2; i < 8; ++i)
    EXPECT_EQ(At(25, 70 + 15 * i).text, std::to_string(i + 1) + ": ---------");
  for (int i = 2; i < 8; ++i) {
    for (const wsm::DrawCall& call : wsm::TextsDrawn()) {
      if (call.y == 70 + 15 * i) {
        EXPECT_TRUE(call.x == 20 || call.x == 25) << call.text;
      }
    }
  }
}

TEST_F(DebugWindowTest, SightedOffsetsInHoursOnAnEquatorialMount) {
  ctl::CalibrationList& list = ctl::State().calibration;
  list.entries[0] = Entry("Altair", 1, 1.0, 0.5, 1.02, 0.49);
  list.count = 1;
  ctl::DrawDebugWindow(kWindow, record_);
  EXPECT_EQ(At(185, 70).text, "00:04:35  ");
  EXPECT_EQ(At(240, 70).text, "-00:34:22  ");
}

TEST_F(DebugWindowTest, FullListAndALongNameFit) {
  ctl::CalibrationList& list = ctl::State().calibration;
  const std::string name(255, 'N');
  for (int i = 0; i < 8; ++i) list.entries[i] = Entry(name.c_str(), 0, 0.1 * i, 0.1);
  list.count = 8;
  ctl::DrawDebugWindow(kWindow, record_);
  EXPECT_EQ(Texts().size(), 49u);
  EXPECT_EQ(At(25, 175).text, "8: " + name + "     ");
}

TEST_F(DebugWindowTest, NoDrawingContext) {
  wsm::TheBehaviour().get_dc_fails = true;
  ctl::DrawDebugWindow(kWindow, record_);
  const auto& boxes = wsm::TheLog().boxes;
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, "Can't get a DC for debug window");
  EXPECT_EQ(boxes[0].caption, "BAD HDC");
  EXPECT_EQ(boxes[0].style, 0x1000u | 0x10u);
  EXPECT_EQ(boxes[0].owner, 0u);
  EXPECT_EQ(boxes[1].text, "Can't write to debug window");
  EXPECT_EQ(boxes[1].caption, "TEXT OUT 0");
  EXPECT_EQ(boxes[1].style, 0x1000u | 0x10u);
  EXPECT_EQ(boxes[1].owner, 0u);
  for (const wsm::DrawCall& call : wsm::TextsDrawn()) EXPECT_FALSE(call.ok);
  // The font made for the drawing is still deleted; no context is given back.
  int deleted = 0, released = 0;
  for (const wsm::DrawCall& call : wsm::TheLog().draws) {
    if (call.kind == wsm::DrawCall::kDeleteObject) ++deleted;
    if (call.kind == wsm::DrawCall::kReleaseDC) ++released;
  }
  EXPECT_EQ(deleted, 1);
  EXPECT_EQ(released, 0);
}

TEST_F(DebugWindowTest, HeaderThatCannotBeDrawnIsReportedAndTheRestDrawn) {
  wsm::TheBehaviour().text_out_fails = true;
  ctl::DrawDebugWindow(kWindow, record_);
  ASSERT_EQ(wsm::TheLog().boxes.size(), 1u);
  EXPECT_EQ(wsm::TheLog().boxes[0].caption, "TEXT OUT 0");
  EXPECT_EQ(Texts().size(), 33u);
}

TEST_F(DebugWindowTest, FontThatCannotBeCreatedLeavesTheContextsFont) {
  wsm::TheBehaviour().create_font_fails = true;
  ctl::DrawDebugWindow(kWindow, record_);
  for (const wsm::DrawCall& call : wsm::TextsDrawn()) EXPECT_EQ(call.font, 0x5F0u);
  for (const wsm::DrawCall& call : wsm::TheLog().draws) {
    EXPECT_NE(call.kind, wsm::DrawCall::kDeleteObject);
    if (call.kind == wsm::DrawCall::kSelectObject) {
      EXPECT_TRUE(call.ok);
    }
  }
  EXPECT_TRUE(wsm::TheLog().boxes.empty());
}

TEST_F(DebugWindowTest, FeedDrawsOnlyIntoAVisibleDebugWindow) {
  // The initial invalid marker names no window.
  ctl::FeedDebugWindow(record_);
  EXPECT_TRUE(wsm::TheLog().draws.empty());

  ctl::State().debug_window = 0x5555;  // handed over but not showing
  ctl::FeedDebugWindow(record_);
  EXPECT_TRUE(wsm::TheLog().draws.empty());

  ctl::State().debug_window = kWindow;
  ctl::FeedDebugWindow(record_);
  ASSERT_FALSE(wsm::TheLog().draws.empty());
  EXPECT_EQ(wsm::TheLog().draws.front().object, kWindow);
  EXPECT_EQ(At(20, 40).text, "005.50 ");
}

}  // namespace
