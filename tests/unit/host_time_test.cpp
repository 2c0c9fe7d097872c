// Operation 34 and the day number that runs on with the tick count.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "fake_platform.h"
#include "plugin/plugin.h"
#include "window_system_model.h"

namespace {

constexpr double kMsPerDay = 86400000.0;

std::vector<std::uint8_t> TimeBlock(double day, std::uint8_t carried_seed) {
  std::vector<std::uint8_t> block(24, 0xEE);
  std::memcpy(block.data(), &day, 8);
  for (int i = 0; i < 8; ++i) block[8 + i] = static_cast<std::uint8_t>(carried_seed + i);
  return block;
}

class HostTimeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ctl::ResetState();
    wsm::Reset();
    fake::SetTickCount(5'000'000);
  }
};

TEST_F(HostTimeTest, SetTimeCopiesTheRecordAndRestartsTheTickBase) {
  auto block = TimeBlock(2461000.25, 0x10);
  fake::SetTickCount(123456);
  DoOperation(ctl::kOpSetTime, reinterpret_cast<std::uintptr_t>(block.data()));
  const ctl::PluginState& s = ctl::State();
  EXPECT_EQ(s.host_time.day_number, 2461000.25);
  EXPECT_EQ(std::memcmp(s.host_time.carried, block.data() + 8, 8), 0);
  EXPECT_EQ(s.tick_base, 123456u);
  EXPECT_EQ(block, TimeBlock(2461000.25, 0x10)) << "the host's block is only read";
}

TEST_F(HostTimeTest, SetTimeIsNotGatedByTheConnection) {
  ASSERT_EQ(ctl::State().connected, 0);
  auto block = TimeBlock(7.5, 0);
  DoOperation(ctl::kOpSetTime, reinterpret_cast<std::uintptr_t>(block.data()));
  EXPECT_EQ(ctl::State().host_time.day_number, 7.5);
}

TEST_F(HostTimeTest, SecondSetTimeReplacesTheWholeRecordAndTheTickBase) {
  auto first = TimeBlock(100.0, 0x20);
  fake::SetTickCount(1000);
  DoOperation(ctl::kOpSetTime, reinterpret_cast<std::uintptr_t>(first.data()));
  ctl::AdvanceDayNumber(6000);
  auto second = TimeBlock(50.0, 0x80);
  fake::SetTickCount(9000);
  DoOperation(ctl::kOpSetTime, reinterpret_cast<std::uintptr_t>(second.data()));
  const ctl::PluginState& s = ctl::State();
  EXPECT_EQ(s.host_time.day_number, 50.0);
  EXPECT_EQ(std::memcmp(s.host_time.carried, second.data() + 8, 8), 0);
  EXPECT_EQ(s.tick_base, 9000u);
}

TEST_F(HostTimeTest, AdvanceAddsTheElapsedMillisecondsAsDays) {
  auto block = TimeBlock(2460000.5, 0);
  fake::SetTickCount(40'000);
  DoOperation(ctl::kOpSetTime, reinterpret_cast<std::uintptr_t>(block.data()));
  ctl::AdvanceDayNumber(41'500);
  EXPECT_EQ(ctl::State().host_time.day_number, 2460000.5 + 1500 / kMsPerDay);
  EXPECT_EQ(ctl::State().tick_base, 41'500u);
  // The next advance counts from the new base only.
  ctl::AdvanceDayNumber(42'000);
  EXPECT_EQ(ctl::State().host_time.day_number, (2460000.5 + 1500 / kMsPerDay) + 500 / kMsPerDay);
}

TEST_F(HostTimeTest, AdvanceAcrossTheTickCountWrapCountsTheRealElapsedTime) {
  auto block = TimeBlock(10.0, 0);
  fake::SetTickCount(0xFFFFFF00u);  // 256 ms before the wrap
  DoOperation(ctl::kOpSetTime, reinterpret_cast<std::uintptr_t>(block.data()));
  ctl::AdvanceDayNumber(0x00000400u);  // 1024 ms after it
  EXPECT_EQ(ctl::State().host_time.day_number, 10.0 + 1280 / kMsPerDay);
  EXPECT_EQ(ctl::State().tick_base, 0x400u);
}

TEST_F(HostTimeTest, AdvanceToTheSameTickChangesNothing) {
  auto block = TimeBlock(3.0, 0);
  fake::SetTickCount(77);
  DoOperation(ctl::kOpSetTime, reinterpret_cast<std::uintptr_t>(block.data()));
  ctl::AdvanceDayNumber(77);
  EXPECT_EQ(ctl::State().host_time.day_number, 3.0);
}

TEST_F(HostTimeTest, BeforeAnySetTimeTheFirstAdvanceAddsTheTimeSinceSystemStart) {
  ASSERT_EQ(ctl::State().host_time.day_number, 0.0);
  ASSERT_EQ(ctl::State().tick_base, 0u);
  ctl::AdvanceDayNumber(8'640'000);  // a tenth of a day
  EXPECT_EQ(ctl::State().host_time.day_number, 8'640'000 / kMsPerDay);
}

}  // namespace
