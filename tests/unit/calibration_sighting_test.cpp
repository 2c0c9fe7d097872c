// "Sight Object" through DoOperation against the simulated box on a real
// pseudo-terminal: the encoder position recorded, and the alt-azimuth
// conversion of the object's sky position for the time of each sighting.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "astro.h"
#include "astro_vl.h"
#include "dsc_sim.h"
#include "plugin/bytes.h"
#include "plugin/plugin.h"
#include "temp_config.h"
#include "test_blocks.h"
#include "window_system_model.h"

namespace {

constexpr std::int32_t kCmdAdd = 20002;
constexpr std::int32_t kCmdSight = 20004;
constexpr std::int32_t kContext = 41;
constexpr double kJulianDate = 2461000.75;

void Command(std::int32_t command, const std::string& name, double ra = 0.0, double dec = 0.0) {
  auto block = testsupport::ObjectMenuBlock(command, name, ra, dec, 0xA7);
  DoOperation(15, reinterpret_cast<std::uintptr_t>(block.data()));
}

int ConversionsLogged() {
  int count = 0;
  for (const auto& call : astro::vl::Calls()) count += call.function == "vl_CoordinateConversion";
  return count;
}

class SightingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ctl::ResetState();
    wsm::Reset();
    astro::vl::ClearContexts();
    astro::vl::SetContext(kContext, astro::vl::kDefaultSite, kJulianDate);
    std::string error;
    ASSERT_TRUE(box_.Start(&error)) << error;
    config_.LinkPort("COM1", box_.SlavePath());
    std::vector<std::uint8_t> context(16, 0);
    ctl::bytes::PutU32(context.data(), 12, kContext);
    DoOperation(39, reinterpret_cast<std::uintptr_t>(context.data()));
  }
  void TearDown() override {
    DoOperation(27, 0);
    ctl::ResetState();
    astro::vl::ClearContexts();
  }

  void Connect(std::int32_t mount) {
    ctl::State().settings.MountType = mount;
    DoOperation(26, 0);
    ASSERT_EQ(ctl::State().connected, 1)
        << (wsm::TheLog().boxes.empty() ? std::string("no box") : wsm::TheLog().boxes[0].text);
  }

  // The uncorrected angles the plug-in makes of counts at the reference.
  static double FirstAngle(std::int32_t counts, double reference) {
    double angle = reference + counts * (2.0 * ctl::kPi / ctl::State().settings.ResRA);
    while (angle < 0.0) angle += 2.0 * ctl::kPi;
    while (angle > 2.0 * ctl::kPi) angle -= 2.0 * ctl::kPi;
    return angle;
  }
  static double SecondAngle(std::int32_t counts, double reference) {
    return reference + counts * (2.0 * ctl::kPi / ctl::State().settings.ResDec);
  }
  static const ctl::CalibrationEntry& Entry(int i) { return ctl::State().calibration.entries[i]; }

  testsupport::TempConfigDir config_;
  dscsim::Box box_;
};

TEST_F(SightingTest, TwiceOnAnEquatorialMount) {
  Connect(ctl::kEquatorial);
  const ctl::Settings& s = ctl::State().settings;
  Command(kCmdAdd, "Vega", 4.873565, 0.676903);
  Command(kCmdAdd, "Deneb", 5.416768, 0.790289);

  box_.SetCounts(1024, -512);
  Command(kCmdSight, "Deneb");
  EXPECT_EQ(Entry(1).sighted, 1);
  EXPECT_DOUBLE_EQ(Entry(1).encoder1, FirstAngle(1024, s.RefRA));
  EXPECT_DOUBLE_EQ(Entry(1).encoder2, SecondAngle(-512, s.RefDec));

  box_.SetCounts(-300, -700);
  Command(kCmdSight, "Deneb");
  EXPECT_DOUBLE_EQ(Entry(1).encoder1, FirstAngle(-300, s.RefRA));
  EXPECT_DOUBLE_EQ(Entry(1).encoder2, SecondAngle(-700, s.RefDec));
  EXPECT_EQ(Entry(1).catalogue1, 5.416768);
  EXPECT_EQ(Entry(1).catalogue2, 0.790289);
  EXPECT_EQ(Entry(0).sighted, 0);
  EXPECT_EQ(ConversionsLogged(), 1) << "only the connect converts on an equatorial mount";
  EXPECT_TRUE(wsm::TheLog().boxes.empty());
}

TEST_F(SightingTest, TwiceOnAnAltAzimuthMountConvertsTheSkyPositionAfreshEachTime) {
  Connect(ctl::kAltAzimuth);
  const ctl::Settings& s = ctl::State().settings;
  const astro::Star* vega = astro::FindStar("Vega");
  ASSERT_NE(vega, nullptr);
  Command(kCmdAdd, "Vega", vega->ra, vega->dec);
  astro::vl::ClearCalls();

  box_.SetCounts(700, -250);
  Command(kCmdSight, "Vega");
  const astro::Horizontal expected =
      astro::EquatorialToHorizontal(vega->position(), astro::vl::kDefaultSite, kJulianDate);
  EXPECT_NEAR(Entry(0).catalogue1, expected.azimuth, 1e-9);
  EXPECT_NEAR(Entry(0).catalogue2, expected.altitude, 1e-9);
  EXPECT_NEAR(Entry(0).encoder1, FirstAngle(700, s.HorizonAz), 1e-12);
  EXPECT_DOUBLE_EQ(Entry(0).encoder2, SecondAngle(-250, s.HorizonAlt));
  ASSERT_EQ(ConversionsLogged(), 1);
  for (const auto& call : astro::vl::Calls()) {
    if (call.function != "vl_CoordinateConversion") continue;
    EXPECT_EQ(call.context, kContext);
    EXPECT_EQ(call.from_frame, 6);
    EXPECT_EQ(call.to_frame, 2);
  }

  // An hour later the sky has turned: the second sighting pairs its encoder
  // angles with Vega's horizon position of that moment, not the first one's.
  const double later = kJulianDate + 1.0 / 24.0;
  astro::vl::SetContext(kContext, astro::vl::kDefaultSite, later);
  box_.SetCounts(710, -240);
  Command(kCmdSight, "Vega");
  EXPECT_EQ(ConversionsLogged(), 2);
  const astro::Horizontal now =
      astro::EquatorialToHorizontal(vega->position(), astro::vl::kDefaultSite, later);
  EXPECT_GT(std::fabs(now.azimuth - expected.azimuth), 0.1);
  EXPECT_NEAR(Entry(0).catalogue1, now.azimuth, 1e-9);
  EXPECT_NEAR(Entry(0).catalogue2, now.altitude, 1e-9);
  EXPECT_NEAR(Entry(0).encoder1, FirstAngle(710, s.HorizonAz), 1e-12);
  EXPECT_DOUBLE_EQ(Entry(0).encoder2, SecondAngle(-240, s.HorizonAlt));
  EXPECT_TRUE(wsm::TheLog().boxes.empty());
}

TEST_F(SightingTest, RefusalsThroughTheMenu) {
  Connect(ctl::kEquatorial);
  Command(kCmdSight, "Vega");
  ASSERT_EQ(wsm::TheLog().boxes.size(), 1u);
  EXPECT_EQ(wsm::TheLog().boxes[0].text, "Calibration list is empty. Add objects to list.");
  EXPECT_EQ(wsm::TheLog().boxes[0].caption, "Empty List");
  Command(kCmdAdd, "Vega");
  Command(kCmdSight, "Rigel 5%");
  ASSERT_EQ(wsm::TheLog().boxes.size(), 2u);
  EXPECT_EQ(wsm::TheLog().boxes[1].text,
            "Object Rigel 5% is not on list. Sight another object or add first.");
  EXPECT_EQ(wsm::TheLog().boxes[1].caption, "Not Found");
}

TEST_F(SightingTest, AnUnpluggedBoxRecordsNoSighting) {
  Connect(ctl::kEquatorial);
  Command(kCmdAdd, "Vega", 1.0, 0.5);
  ASSERT_TRUE(box_.Unplug());
  Command(kCmdSight, "Vega");
  EXPECT_EQ(Entry(0).sighted, 0);
  EXPECT_EQ(Entry(0).encoder1, 0.0);
  ASSERT_FALSE(wsm::TheLog().boxes.empty()) << "the failed query tells the user";
  for (const auto& box : wsm::TheLog().boxes) EXPECT_NE(box.caption, "Not Found");
}

}  // namespace

namespace {

// A silent box or a short answer gives counts of 0, which are the reference
// point and not the star: the sighting is skipped and the user told.
TEST_F(SightingTest, AShortOrMissingAnswerRecordsNoSighting) {
  Connect(ctl::kEquatorial);
  Command(kCmdAdd, "Deneb 100%", 5.4, 0.79);
  box_.SetCounts(512, -256);
  for (int length : {0, 5, 13}) {
    if (length == 0) {
      box_.SetSilent(true);
    } else {
      box_.SetSilent(false);
      box_.SetShortAnswer(length);
    }
    wsm::Reset();
    Command(kCmdSight, "Deneb 100%");
    EXPECT_EQ(Entry(0).sighted, 0) << length << " bytes";
    ASSERT_EQ(wsm::TheLog().boxes.size(), 1u) << length << " bytes";
    EXPECT_EQ(wsm::TheLog().boxes[0].text,
              "Object Deneb 100% was not sighted: the setting circles gave no complete reading. "
              "Check the connection and sight it again.");
    EXPECT_EQ(wsm::TheLog().boxes[0].caption, "Read Comm Error");
    EXPECT_EQ(wsm::TheLog().boxes[0].style, 0x1030u);
  }
  // 14 bytes, but without signs: no field is found and the counts read 0.
  box_.SetShortAnswer(-1);
  box_.SetNoSigns(true);
  wsm::Reset();
  Command(kCmdSight, "Deneb 100%");
  EXPECT_EQ(Entry(0).sighted, 0);
  ASSERT_EQ(wsm::TheLog().boxes.size(), 1u);
  EXPECT_EQ(wsm::TheLog().boxes[0].caption, "Read Comm Error");
  box_.SetNoSigns(false);
  wsm::Reset();
  Command(kCmdSight, "Deneb 100%");
  EXPECT_EQ(Entry(0).sighted, 1);
  EXPECT_TRUE(wsm::TheLog().boxes.empty());
}

}  // namespace

namespace {

// With a short answer, an object that is not on the list still gets the
// list's own refusal, not a word about the connection.
TEST_F(SightingTest, AShortAnswerForAnObjectNotOnTheListGetsTheListsRefusal) {
  Connect(ctl::kEquatorial);
  box_.SetShortAnswer(5);
  Command(kCmdSight, "Altair");
  ASSERT_EQ(wsm::TheLog().boxes.size(), 1u);
  EXPECT_EQ(wsm::TheLog().boxes[0].caption, "Empty List");
  Command(kCmdAdd, "Vega", 1.0, 0.5);
  wsm::Reset();
  Command(kCmdSight, "Altair");
  ASSERT_EQ(wsm::TheLog().boxes.size(), 1u);
  EXPECT_EQ(wsm::TheLog().boxes[0].caption, "Not Found");
  EXPECT_EQ(Entry(0).sighted, 0);
}

}  // namespace
