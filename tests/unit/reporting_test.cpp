// Operations 8 and 21: position reports and the telescope object, with a
// clock the test sets and the simulated box on a real pseudo-terminal.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "astro.h"
#include "astro_vl.h"
#include "dsc_sim.h"
#include "fake_platform.h"
#include "link/link.h"
#include "plugin/plugin.h"
#include "plugin/position.h"
#include "pointing/pointing.h"
#include "temp_config.h"
#include "window_system_model.h"

namespace {

constexpr double kMsPerDay = 86400000.0;

double F64(const std::uint8_t* p, std::size_t offset) {
  double v;
  std::memcpy(&v, p + offset, 8);
  return v;
}
std::int32_t I32(const std::vector<std::uint8_t>& b, std::size_t offset) {
  std::int32_t v;
  std::memcpy(&v, b.data() + offset, 4);
  return v;
}
std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t offset) {
  std::uint32_t v;
  std::memcpy(&v, b.data() + offset, 4);
  return v;
}

class ReportingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ctl::ResetState();
    wsm::Reset();
    astro::vl::ClearContexts();
    fake::SetTickCount(10'000'000);
    std::string error;
    ASSERT_TRUE(box_.Start(&error)) << error;
    config_.LinkPort("COM1", box_.SlavePath());
    ctl::State().settings.PCode = 0;
    DoOperation(ctl::kOpConnect, 0);
    ASSERT_EQ(ctl::State().connected, 1);
  }
  void TearDown() override {
    if (ctl::State().port_open != 0) ctl::DisconnectPort();
    box_.Stop();
    astro::vl::ClearContexts();
  }
  std::vector<std::uint8_t> Update() {
    std::vector<std::uint8_t> block(16, 0xCC);
    DoOperation(ctl::kOpPeriodicUpdate, reinterpret_cast<std::uintptr_t>(block.data()));
    return block;
  }
  static void ExpectNoPosition(const std::vector<std::uint8_t>& block) {
    EXPECT_EQ(I32(block, 4), 5);
    EXPECT_EQ(U32(block, 8), 0u);
    EXPECT_EQ(block[0], 0xCC);
    EXPECT_EQ(block[12], 0xCC);
  }
  static std::uint32_t Address(const std::uint8_t* report) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(report));
  }
  void SetTime(double day) {
    std::vector<std::uint8_t> block(16, 0);
    std::memcpy(block.data(), &day, 8);
    DoOperation(ctl::kOpSetTime, reinterpret_cast<std::uintptr_t>(block.data()));
  }

  testsupport::TempConfigDir config_;
  dscsim::Box box_;
};

// ---- Operation 8 ---------------------------------------------------------------

TEST_F(ReportingTest, WithTheFlagClearEveryUpdateAnswersNothingAndReadsNoClock) {
  SetTime(2460000.5);
  const int reads = fake::TickReads();
  for (int i = 0; i < 3; ++i) {
    fake::AdvanceTicks(5000);
    ExpectNoPosition(Update());
  }
  EXPECT_EQ(fake::TickReads(), reads);
  EXPECT_EQ(ctl::State().host_time.day_number, 2460000.5) << "the day number stands still";
  EXPECT_EQ(box_.GetStats().q_received, 0u);
}

TEST_F(ReportingTest, AnUpdateThatIsNotDueReadsTheClockOnceAndNothingElse) {
  ctl::State().reporting = 1;
  ASSERT_EQ(I32(Update(), 4), 3);
  const auto stats = box_.GetStats();
  const int reads = fake::TickReads();
  fake::AdvanceTicks(600);
  ExpectNoPosition(Update());
  EXPECT_EQ(fake::TickReads(), reads + 1);
  EXPECT_EQ(box_.GetStats().q_received, stats.q_received);
}

TEST_F(ReportingTest, TheRateLimitIsMoreThan1000Milliseconds) {
  ctl::State().reporting = 1;
  ASSERT_EQ(I32(Update(), 4), 3);
  const std::uint32_t first = ctl::State().last_report_tick;
  EXPECT_EQ(first, fake::Ticks());
  fake::AdvanceTicks(600);
  ExpectNoPosition(Update());
  fake::AdvanceTicks(400);  // exactly 1000
  ExpectNoPosition(Update());
  fake::AdvanceTicks(1);  // 1001
  EXPECT_EQ(I32(Update(), 4), 3);
  EXPECT_EQ(ctl::State().last_report_tick, first + 1001);
}

TEST_F(ReportingTest, TheRateLimitSurvivesTheTickCountWrap) {
  ctl::State().reporting = 1;
  fake::SetTickCount(0xFFFFFE00u);
  ASSERT_EQ(I32(Update(), 4), 3);
  fake::SetTickCount(0x000001F0u);  // 1008 ms later, through zero
  EXPECT_EQ(I32(Update(), 4), 3);
  fake::SetTickCount(0x000001F0u + 1000);
  ExpectNoPosition(Update());
}

TEST_F(ReportingTest, ADueReportAdvancesTheDayNumberToItsTick) {
  SetTime(2460000.5);               // tick base: now
  DoOperation(ctl::kOpConnect, 0);  // connect-time record: the same day
  ctl::State().reporting = 1;
  fake::AdvanceTicks(1500);
  const auto block = Update();
  ASSERT_EQ(I32(block, 4), 3);
  EXPECT_EQ(ctl::State().host_time.day_number, 2460000.5 + 1500 / kMsPerDay);
  // The drift term measured the same 1500 ms.
  const double ra = F64(ctl::State().equatorial_report, 0);
  EXPECT_NEAR(ra - ctl::State().settings.RefRA, 1500 / kMsPerDay * ctl::kTwoPi, 1e-8)
      << "within the day number's precision";
}

TEST_F(ReportingTest, EquatorialReportCarriesThePositionAndItsAddress) {
  box_.SetCounts(300, -200);
  SetTime(0.0);  // the report comes at the same tick: no drift
  ctl::State().reporting = 1;
  ctl::State().pointing.RC = 0.05;
  double first = 0.0, second = 0.0;
  ASSERT_TRUE(ctl::GetTelescopePosition(first, second));
  const auto block = Update();
  const std::uint8_t* report = ctl::State().equatorial_report;
  ASSERT_NE(report, nullptr);
  EXPECT_EQ(I32(block, 4), 3);
  EXPECT_EQ(U32(block, 8), Address(report));
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(report), Address(report)) << "fits in 4 bytes";
  EXPECT_EQ(F64(report, 0), first);
  EXPECT_EQ(F64(report, 8), second);
  EXPECT_EQ(report[16], 1);
  EXPECT_EQ(report[17], 0);
  EXPECT_EQ(report[18], 0);
}

TEST_F(ReportingTest, HorizontalReportCarriesTheMathematicalAzimuth) {
  ctl::State().settings.MountType = ctl::kAltAzimuth;
  ctl::State().settings.HorizonAz = 1.0;
  ctl::State().settings.HorizonAlt = 0.4;
  box_.SetCounts(100, 50);
  ctl::State().reporting = 1;
  double azimuth = 0.0, altitude = 0.0;
  ASSERT_TRUE(ctl::GetTelescopePosition(azimuth, altitude));
  const auto block = Update();
  const std::uint8_t* report = ctl::State().horizontal_report;
  EXPECT_EQ(I32(block, 4), 2);
  EXPECT_EQ(U32(block, 8), Address(report));
  EXPECT_EQ(F64(report, 0), astro::RealWorldToMathematical(azimuth));
  EXPECT_EQ(F64(report, 8), altitude);
  EXPECT_EQ(report[16], 1);
  EXPECT_EQ(report[17], 0);
  EXPECT_EQ(report[18], 0);
}

TEST_F(ReportingTest, AFailedQueryReportsNothingNewAndKeepsTheLastReport) {
  ctl::State().reporting = 1;
  ASSERT_EQ(I32(Update(), 4), 3);
  std::uint8_t before[19];
  std::memcpy(before, ctl::State().equatorial_report, sizeof before);
  ASSERT_TRUE(box_.Unplug());
  fake::AdvanceTicks(1001);
  ExpectNoPosition(Update());
  EXPECT_EQ(std::memcmp(before, ctl::State().equatorial_report, sizeof before), 0);
  EXPECT_EQ(wsm::TheLog().boxes.size(), 1u);
}

TEST_F(ReportingTest, WithoutItsReportRecordAnUpdateAnswersNothing) {
  ctl::PluginState& s = ctl::State();
  std::uint8_t* equatorial = s.equatorial_report;
  s.equatorial_report = nullptr;
  s.reporting = 1;
  ExpectNoPosition(Update());
  s.equatorial_report = equatorial;
}

// ---- Operation 21 -----------------------------------------------------------------

std::vector<std::uint8_t> ObjectRecord(std::uint32_t host_context) {
  std::vector<std::uint8_t> record(400, 0xCC);
  std::memcpy(record.data() + 320, &host_context, 4);
  return record;
}

TEST_F(ReportingTest, TelescopeObjectOnAnEquatorialMount) {
  box_.SetCounts(-800, 321);
  double first = 0.0, second = 0.0;
  ASSERT_TRUE(ctl::GetTelescopePosition(first, second));
  auto record = ObjectRecord(0);
  const auto before = record;
  DoOperation(ctl::kOpTelescopeObject, reinterpret_cast<std::uintptr_t>(record.data()));
  EXPECT_EQ(record[0], 1);
  EXPECT_EQ(record[1], 3);
  EXPECT_EQ(record[2], 1);
  EXPECT_EQ(F64(record.data(), 8), first);
  EXPECT_EQ(F64(record.data(), 16), second);
  EXPECT_EQ(F64(record.data(), 24), 0.0524);
  for (int i = 32; i < 48; ++i) EXPECT_EQ(record[i], 0) << i;
  EXPECT_EQ(record[62], 9);
  EXPECT_EQ(std::memcmp(record.data() + 63, "Telescope", 9), 0);
  EXPECT_EQ(record[72], 0);
  for (int i = 3; i < 8; ++i) EXPECT_EQ(record[i], 0xCC) << i;
  for (int i = 48; i < 62; ++i) EXPECT_EQ(record[i], 0xCC) << i;
  for (std::size_t i = 73; i < record.size(); ++i) EXPECT_EQ(record[i], before[i]) << i;
}

TEST_F(ReportingTest, TelescopeObjectOnAnAltAzimuthMountUsesTheRecordsOwnContext) {
  astro::vl::SetContext(11, astro::Site{0.9, 0.1}, 2460100.25);
  astro::vl::SetContext(22, astro::Site{-0.6, 2.0}, 2460100.25);
  ctl::State().host_context = 11;
  ctl::State().settings.MountType = ctl::kAltAzimuth;
  ctl::State().settings.HorizonAz = 2.5;
  ctl::State().settings.HorizonAlt = 0.6;
  box_.SetCounts(40, 20);
  double azimuth = 0.0, altitude = 0.0;
  ASSERT_TRUE(ctl::GetTelescopePosition(azimuth, altitude));
  const auto expected = ctl::HorizonToEquatorial(22, azimuth, altitude);
  const auto other = ctl::HorizonToEquatorial(11, azimuth, altitude);
  ASSERT_GT(std::fabs(expected.longitude - other.longitude), 1e-3);

  auto record = ObjectRecord(22);
  DoOperation(ctl::kOpTelescopeObject, reinterpret_cast<std::uintptr_t>(record.data()));
  EXPECT_EQ(F64(record.data(), 8), expected.longitude);
  EXPECT_EQ(F64(record.data(), 16), expected.latitude);
  EXPECT_EQ(U32(record, 320), 22u) << "the context is only read";
}

TEST_F(ReportingTest, TelescopeObjectIsNeitherRateLimitedNorGatedByTheFlag) {
  ASSERT_EQ(ctl::State().reporting, 0);
  for (int i = 0; i < 3; ++i) {
    auto record = ObjectRecord(0);
    DoOperation(ctl::kOpTelescopeObject, reinterpret_cast<std::uintptr_t>(record.data()));
    EXPECT_EQ(record[62], 9);
  }
  EXPECT_EQ(box_.GetStats().q_received, 3u);
}

TEST_F(ReportingTest, TelescopeObjectAfterAFailedQueryLeavesTheRecordAlone) {
  ASSERT_TRUE(box_.Unplug());
  auto record = ObjectRecord(0);
  const auto before = record;
  DoOperation(ctl::kOpTelescopeObject, reinterpret_cast<std::uintptr_t>(record.data()));
  EXPECT_EQ(record, before);
}

// A box switched off (silent), a cable out at the box end (a part of an
// answer) or a box at another baud rate (fourteen bytes without the signed
// fields) gives no position: no report, operation 21's record untouched, a
// link failure counted, and the debug page still drawn with the status.
TEST_F(ReportingTest, AnswersWithoutCountsReportNoPositionAndLeaveTheRecordAlone) {
  constexpr plat::Handle kWindow = 0x51;
  ctl::State().debug_window = kWindow;
  wsm::TheBehaviour().visible_windows.insert(kWindow);
  ctl::State().settings.PCode = 1;
  ctl::State().reporting = 1;
  box_.SetCounts(300, 200);
  ASSERT_EQ(I32(Update(), 4), 3);
  std::uint8_t before[19];
  std::memcpy(before, ctl::State().equatorial_report, sizeof before);
  const std::function<void()> faults[] = {[&] { box_.SetSilent(true); },
                                          [&] { box_.SetShortAnswer(9); },
                                          [&] { box_.SetNoSigns(true); }};
  for (const auto& fault : faults) {
    box_.ClearFaults();
    fault();
    ctl::State().link_failures = 0;
    wsm::TheLog().draws.clear();
    fake::AdvanceTicks(1001);
    ExpectNoPosition(Update());
    EXPECT_EQ(std::memcmp(before, ctl::State().equatorial_report, sizeof before), 0);
    EXPECT_GE(ctl::State().link_failures, 1);
    EXPECT_FALSE(wsm::TextsDrawn().empty()) << "the debug page shows the status";

    auto record = ObjectRecord(0);
    const auto untouched = record;
    DoOperation(ctl::kOpTelescopeObject, reinterpret_cast<std::uintptr_t>(record.data()));
    EXPECT_EQ(record, untouched);
  }
  EXPECT_TRUE(wsm::TheLog().boxes.empty());
}

}  // namespace
