// Operation 8 through the real Controller.plug with the real clock: the
// rate limit, the report records and the day number running on.
#include <gtest/gtest.h>
#include <time.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "astro.h"
#include "astro_vl.h"
#include "dsc_sim.h"
#include "plugin_loader.h"
#include "temp_config.h"
#include "window_system_model.h"

namespace {

using testhost::GetF64;
using testhost::GetF64At;
using testhost::GetI32;
using testhost::GetU32;

constexpr double kPi = 3.141592653589793;
constexpr double kMsPerDay = 86400000.0;

std::int64_t NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

class ReportingIntegrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wsm::Reset();
    astro::vl::ClearContexts();
    ASSERT_TRUE(plugin_.Loaded()) << plugin_.Error();
    std::string error;
    ASSERT_TRUE(box_.Start(&error)) << error;
    config_.LinkPort("COM1", box_.SlavePath());
    plugin_.Call(27, 0);
  }
  void TearDown() override {
    plugin_.Call(27, 0);
    box_.Stop();
  }
  void Register(const std::string& mount) {
    config_.WriteProfile("[ZazuvUzarDLL]\nResRA=4096\nResDec=4096\nCommPort=COM1\nMountType=" +
                         mount + "\nPCode=ON\n");
    testhost::Register(plugin_, 3);
  }
  void SetTime(double day) { testhost::SetTime(plugin_, day); }
  bool Reporting() { return testhost::MenuItemState(plugin_, 8205).checked == 1; }
  void TurnReportingOn() {
    if (!Reporting()) plugin_.Call(28, 0);
    ASSERT_TRUE(Reporting());
  }
  std::vector<std::uint8_t> Update() {
    std::vector<std::uint8_t> block(16, 0xCC);
    plugin_.Call(8, block);
    return block;
  }

  testsupport::TempConfigDir config_;
  testhost::Plugin plugin_;
  dscsim::Box box_;
};

TEST_F(ReportingIntegrationTest, RateLimitAndTheDayNumberRunningOn) {
  Register("EQ");
  const double day = 2460000.0;
  SetTime(day);
  plugin_.Call(26, 0);
  TurnReportingOn();

  const std::int64_t a0 = NowMs();
  const auto first = Update();
  const std::int64_t a1 = NowMs();
  ASSERT_EQ(GetI32(first, 4), 3);
  const std::uint32_t address = GetU32(first, 8);
  ASSERT_NE(address, 0u);
  const double ra1 = GetF64At(address, 0);
  EXPECT_EQ(reinterpret_cast<const std::uint8_t*>(static_cast<std::uintptr_t>(address))[16], 1);

  // Called again at once, and again 600 ms on: nothing new.
  auto again = Update();
  EXPECT_EQ(GetI32(again, 4), 5);
  EXPECT_EQ(GetU32(again, 8), 0u);
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  again = Update();
  EXPECT_EQ(GetI32(again, 4), 5);
  EXPECT_EQ(box_.GetStats().q_received, 1u) << "one query for one report";

  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const std::int64_t b0 = NowMs();
  const auto second = Update();
  const std::int64_t b1 = NowMs();
  ASSERT_EQ(GetI32(second, 4), 3);
  EXPECT_EQ(GetU32(second, 8), address) << "the same record, in place";
  const double ra2 = GetF64At(address, 0);

  // The day number ran on between the two reports, and the drift term with
  // it: one turn a day.
  const double elapsed_ms = (ra2 - ra1) / (2 * kPi) * kMsPerDay;
  EXPECT_GE(elapsed_ms, static_cast<double>(b0 - a1) - 1.5);
  EXPECT_LE(elapsed_ms, static_cast<double>(b1 - a0) + 1.5);
  EXPECT_GT(elapsed_ms, 1000.0);
  EXPECT_TRUE(wsm::TheLog().boxes.empty());
}

TEST_F(ReportingIntegrationTest, WithReportingOffNothingIsReportedOrQueried) {
  Register("EQ");
  plugin_.Call(26, 0);
  ASSERT_FALSE(Reporting());
  for (int i = 0; i < 3; ++i) EXPECT_EQ(GetI32(Update(), 4), 5);
  EXPECT_EQ(box_.GetStats().q_received, 0u);
}

TEST_F(ReportingIntegrationTest, AltAzimuthReportIsHorizontalWithTheMathematicalAzimuth) {
  Register("AA");
  astro::vl::SetContext(9, astro::vl::kDefaultSite, 2460000.5);
  std::vector<std::uint8_t> context(16, 0);
  testhost::PutI32(context, 12, 9);
  plugin_.Call(39, context);
  plugin_.Call(26, 0);
  TurnReportingOn();
  const auto block = Update();
  ASSERT_EQ(GetI32(block, 4), 2);
  const std::uint32_t address = GetU32(block, 8);
  // Counts of 0: the horizon reference point, the reference seen from the site.
  const astro::Horizontal h = astro::EquatorialToHorizontal({0.665777659788, 1.55817662667},
                                                            astro::vl::kDefaultSite, 2460000.5);
  EXPECT_NEAR(GetF64At(address, 0), astro::RealWorldToMathematical(h.azimuth), 1e-9);
  EXPECT_NEAR(GetF64At(address, 8), h.altitude, 1e-9);
}

TEST_F(ReportingIntegrationTest, AnUnpluggedBoxGivesNoNewReport) {
  Register("EQ");
  plugin_.Call(26, 0);
  TurnReportingOn();
  ASSERT_EQ(GetI32(Update(), 4), 3);
  ASSERT_TRUE(box_.Unplug());
  std::this_thread::sleep_for(std::chrono::milliseconds(1010));
  const auto block = Update();
  EXPECT_EQ(GetI32(block, 4), 5);
  EXPECT_EQ(GetU32(block, 8), 0u);
  ASSERT_EQ(wsm::TheLog().boxes.size(), 1u);
  EXPECT_EQ(wsm::TheLog().boxes[0].text, "Failed to send Q command.");
}

}  // namespace
