// The debug window page of the real Controller.plug, drawn through the
// host's ws_ functions while the simulated box answers on a pseudo-terminal.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "astro_vl.h"
#include "dsc_sim.h"
#include "plugin_loader.h"
#include "temp_config.h"
#include "test_blocks.h"
#include "window_system_model.h"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr std::int32_t kContext = 23;
constexpr wsm::Handle kWindow = 0x3A00;
constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kYellow = 0x00FFFF;
constexpr std::uint32_t kDarkGrey = 0x404040;

// "%02d:%02d:%02d  " of an angle split into hours or degrees, minutes and
// seconds, each truncated toward zero.
std::string Sexagesimal(double angle, double units_per_half_turn) {
  double t = (units_per_half_turn / kPi) * angle;
  const double leading = std::trunc(t);
  t = (t - leading) * 60.0;
  const double minutes = std::trunc(t);
  t = (t - minutes) * 60.0;
  const double seconds = std::trunc(t);
  char text[64];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d  ", static_cast<int>(leading),
                static_cast<int>(std::fabs(minutes)), static_cast<int>(std::fabs(seconds)));
  return text;
}

std::string Radians(double angle) {
  char text[64];
  std::snprintf(text, sizeof text, "%04.2f ", angle);
  return text;
}

class DebugPageThroughHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wsm::Reset();
    ASSERT_TRUE(plugin_.Loaded()) << plugin_.Error();
    std::string error;
    ASSERT_TRUE(box_.Start(&error)) << error;
    config_.LinkPort("COM1", box_.SlavePath());
    astro::vl::ClearContexts();
    astro::vl::SetContext(kContext, astro::vl::kDefaultSite, 2461000.75);
  }
  void TearDown() override {
    plugin_.Call(27, 0);
    astro::vl::ClearContexts();
  }

  // Registers (loading the profile), hands over the context and the debug
  // window, and connects.
  void Start(const std::string& profile) {
    config_.WriteProfile(profile);
    std::vector<std::uint8_t> registration(801, 0);
    testhost::PutI32(registration, 0, 4);
    plugin_.Call(0, registration);
    std::vector<std::uint8_t> context(16, 0);
    testhost::PutI32(context, 12, kContext);
    plugin_.Call(39, context);
    plugin_.Call(2, kWindow);
    wsm::TheBehaviour().visible_windows.insert(kWindow);
    plugin_.Call(26, 0);
    ASSERT_TRUE(wsm::TheLog().boxes.empty())
        << wsm::TheLog().boxes[0].caption << ": " << wsm::TheLog().boxes[0].text;
    wsm::TheLog().draws.clear();
  }

  std::vector<std::uint8_t> TelescopeObject() {
    std::vector<std::uint8_t> record(400, 0);
    testhost::PutI32(record, 320, kContext);
    plugin_.Call(21, record);
    return record;
  }

  void MenuCommand(std::int32_t command, const std::string& name, double ra = 0.0,
                   double dec = 0.0) {
    auto block = testsupport::ObjectMenuBlock(command, name, ra, dec);
    plugin_.Call(15, block);
  }

  static wsm::DrawCall At(int x, int y) {
    std::vector<wsm::DrawCall> found;
    for (const wsm::DrawCall& call : wsm::TextsDrawn()) {
      if (call.x == x && call.y == y) found.push_back(call);
    }
    EXPECT_EQ(found.size(), 1u) << "texts at (" << x << ", " << y << ")";
    return found.empty() ? wsm::DrawCall{} : found[0];
  }

  testsupport::TempConfigDir config_;
  testhost::Plugin plugin_;
  dscsim::Box box_;
};

TEST_F(DebugPageThroughHostTest, EquatorialPageAtTheReferencePoint) {
  Start("[ZazuvUzarDLL]\nResRA=720\nResDec=4096\nPCode=ON\nMountType=EQ\n");
  box_.SetStatus(7);
  box_.SetCounts(0, 0);
  TelescopeObject();
  const auto texts = wsm::TextsDrawn();
  ASSERT_EQ(texts.size(), 33u);
  EXPECT_EQ(At(15, 15).text, " ENCODER DEG        RADIANS          COORDINATES");
  const char* labels[6] = {"RA", "DEC", "RA", "DEC", "RA", "DEC"};
  const int xs[6] = {20, 65, 110, 145, 185, 240};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(At(xs[i], 25).text, labels[i]);
  EXPECT_EQ(At(20, 40).text, "000.00 ");
  EXPECT_EQ(At(65, 40).text, "000.00 ");
  EXPECT_EQ(At(110, 40).text, "0.67 ");
  EXPECT_EQ(At(145, 40).text, "1.56 ");
  EXPECT_EQ(At(185, 40).text, "02:32:35  ");
  EXPECT_EQ(At(240, 40).text, "89:16:36  ");
  const std::string lapsed = At(65, 55).text;
  EXPECT_EQ(lapsed.substr(0, 13), "TIME LAPSED: ");
  EXPECT_EQ(lapsed.size(), 18u) << lapsed;
  EXPECT_EQ(At(185, 55).text, "STATUS:");
  EXPECT_EQ(At(240, 55).text, "007   ");
  EXPECT_EQ(At(240, 55).text_colour, kWhite);
  EXPECT_EQ(At(20, 187).text.substr(0, 10), "VLX TIME: ");
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(At(20, 70 + 15 * i).text, "  ");
    EXPECT_EQ(At(25, 70 + 15 * i).text, std::to_string(i + 1) + ": ---------");
  }
  for (const wsm::DrawCall& call : texts) {
    EXPECT_TRUE(call.ok);
    EXPECT_EQ(call.bk_colour, kDarkGrey);
  }
  // Font and line as the host saw them.
  bool font = false, line = false;
  for (const wsm::DrawCall& call : wsm::TheLog().draws) {
    if (call.kind == wsm::DrawCall::kCreateFont) {
      font = call.text == "Arial" && call.font_height == 12 && call.font_width == 5;
    }
    if (call.kind == wsm::DrawCall::kLineTo) line = call.x == 285 && call.y == 65;
  }
  EXPECT_TRUE(font);
  EXPECT_TRUE(line);
  EXPECT_TRUE(wsm::TheLog().boxes.empty());
}

TEST_F(DebugPageThroughHostTest, EncoderDegreesAndStatusOff) {
  Start("[ZazuvUzarDLL]\nResRA=720\nResDec=4096\nPCode=OFF\n");
  box_.SetCounts(-11, -1024);  // -5.5 degrees wraps once; the second axis does not
  TelescopeObject();
  EXPECT_EQ(At(20, 40).text, "354.50 ");
  EXPECT_EQ(At(65, 40).text, "-90.00 ");
  box_.SetCounts(11, 0);
  wsm::TheLog().draws.clear();
  TelescopeObject();
  EXPECT_EQ(At(20, 40).text, "005.50 ");
  EXPECT_EQ(At(240, 55).text, "OFF");
  EXPECT_EQ(At(240, 55).text_colour, kYellow);
  EXPECT_EQ(At(20, 187).text_colour, kWhite);
}

TEST_F(DebugPageThroughHostTest, AltAzimuthPageFromThePeriodicUpdate) {
  Start("[ZazuvUzarDLL]\nResRA=4096\nResDec=4096\nMountType=AA\nPCode=ON\n");
  box_.SetCounts(300, -200);
  plugin_.Call(28, 0);  // reporting on
  std::vector<std::uint8_t> update(16, 0);
  plugin_.Call(8, update);
  ASSERT_EQ(testhost::GetI32(update, 4), 2) << "a horizontal report";
  const std::uintptr_t report = testhost::GetU32(update, 8);
  ASSERT_NE(report, 0u);
  double azimuth = 0.0;
  vl_Mathematical2RealWorldAzimuth(testhost::GetF64At(report, 0), &azimuth);
  const double altitude = testhost::GetF64At(report, 8);

  const char* labels[6] = {"AZ", "ALT", "AZ", "ALT", "AZ", "ALT"};
  const int xs[6] = {20, 65, 110, 145, 185, 240};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(At(xs[i], 25).text, labels[i]);
  EXPECT_EQ(At(110, 40).text, Radians(azimuth));
  EXPECT_EQ(At(145, 40).text, Radians(altitude));
  EXPECT_EQ(At(185, 40).text, Sexagesimal(azimuth, 180.0)) << "azimuth in degrees";
  EXPECT_EQ(At(240, 40).text, Sexagesimal(altitude, 180.0));
  EXPECT_EQ(At(240, 55).text, "000   ");
}

TEST_F(DebugPageThroughHostTest, SightedEntryShowsItsStarAndOffsets) {
  Start("[ZazuvUzarDLL]\nResRA=4096\nResDec=4096\nRefRA=1.0\nRefDec=0.5\nPCode=OFF\n");
  box_.SetCounts(0, 0);  // the telescope at the reference point
  // Catalogued 0.01 rad west and 0.01 rad north of where the telescope points.
  MenuCommand(20002, "Vega", 1.0 - 0.01, 0.5 + 0.01);
  MenuCommand(20002, "Deneb", 1.0, -0.5);
  MenuCommand(20004, "Vega");
  ASSERT_TRUE(wsm::TheLog().boxes.empty()) << wsm::TheLog().boxes[0].text;
  wsm::TheLog().draws.clear();
  TelescopeObject();
  EXPECT_EQ(wsm::TextsDrawn().size(), 37u);
  EXPECT_EQ(At(20, 70).text, "* ");
  EXPECT_EQ(At(25, 70).text, "1: Vega     ");
  EXPECT_EQ(At(185, 70).text, "00:02:17  ") << "+0.01 rad in hours";
  EXPECT_EQ(At(240, 70).text, "-00:34:22  ") << "-0.01 rad in degrees, with its sign";
  EXPECT_EQ(At(20, 85).text, "  ");
  EXPECT_EQ(At(25, 85).text, "2: Deneb     ");
  EXPECT_EQ(At(185, 85).text, "03:49:10  ");
  EXPECT_EQ(At(240, 85).text, "-28:38:52  ");
  for (int i = 2; i < 8; ++i) {
    EXPECT_EQ(At(25, 70 + 15 * i).text, std::to_string(i + 1) + ": ---------");
  }
}

TEST_F(DebugPageThroughHostTest, HiddenWindowGetsNothing) {
  Start("[ZazuvUzarDLL]\nPCode=OFF\n");
  wsm::TheBehaviour().visible_windows.clear();
  TelescopeObject();
  EXPECT_TRUE(wsm::TheLog().draws.empty());
}

TEST_F(DebugPageThroughHostTest, NoDrawingContextShowsBothBoxesAtEachComputation) {
  Start("[ZazuvUzarDLL]\nPCode=OFF\n");
  wsm::TheBehaviour().get_dc_fails = true;
  TelescopeObject();
  TelescopeObject();
  const auto& boxes = wsm::TheLog().boxes;
  ASSERT_EQ(boxes.size(), 4u);
  for (int i = 0; i < 4; i += 2) {
    EXPECT_EQ(boxes[i].text, "Can't get a DC for debug window");
    EXPECT_EQ(boxes[i].caption, "BAD HDC");
    EXPECT_EQ(boxes[i].style, 0x1010u);
    EXPECT_EQ(boxes[i].owner, 0u);
    EXPECT_EQ(boxes[i + 1].text, "Can't write to debug window");
    EXPECT_EQ(boxes[i + 1].caption, "TEXT OUT 0");
  }
}

}  // namespace
