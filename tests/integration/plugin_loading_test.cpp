// The real Controller.plug, loaded by a host the way velastra loads it.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "plugin_loader.h"
#include "temp_config.h"
#include "window_system_model.h"

namespace {

using testhost::GetI32;
using testhost::GetU16;
using testhost::GetU32;

class PluginLoadingTest : public ::testing::Test {
 protected:
  void SetUp() override { wsm::Reset(); }
  testsupport::TempConfigDir config_;
  testhost::Plugin plugin_;
};

std::vector<std::uint8_t> FilledRecord(std::int32_t version) {
  std::vector<std::uint8_t> record(801, 0xCC);
  testhost::PutI32(record, 0, version);
  return record;
}

void ExpectRegistered(const std::vector<std::uint8_t>& r) {
  EXPECT_EQ(GetI32(r, 0), 4);
  EXPECT_EQ(r[4], 1);
  EXPECT_EQ(r[5], 0);
  EXPECT_EQ(r[6], 1);
  EXPECT_EQ(r[7], 1);
  EXPECT_EQ(r[8], 1);
  EXPECT_EQ(r[9], 0xCC);
  EXPECT_EQ(r[10], 0xCC);
  EXPECT_EQ(r[11], 0xCC);
  EXPECT_EQ(GetU32(r, 12), 3004u);
  EXPECT_EQ(r[16], 1);
  EXPECT_EQ(r[17], 0xCC);
  EXPECT_EQ(GetU16(r, 18), 100);
  EXPECT_EQ(GetU16(r, 20), 100);
  EXPECT_EQ(GetU16(r, 22), 300);
  EXPECT_EQ(GetU16(r, 24), 400);
  EXPECT_EQ(r[26], 0xCC);
  EXPECT_EQ(r[27], 0xCC);
  EXPECT_EQ(GetU32(r, 28), 40000u);
  EXPECT_EQ(r[32], 1);
  EXPECT_EQ(r[33], 10);
  EXPECT_EQ(std::memcmp(r.data() + 34, "&Telescope", 10), 0);
  EXPECT_EQ(r[44], 0);
  EXPECT_EQ(r[45], 0xCC) << "nothing past the label's terminator";
  EXPECT_EQ(r[289], 0);
  EXPECT_EQ(r[290], 0xCC);
  EXPECT_EQ(r[545], 0);
  EXPECT_EQ(r[546], 0xCC);
  EXPECT_EQ(r[800], 0xCC);
}

TEST_F(PluginLoadingTest, LoadsAndFindsTheEntryPoint) {
  ASSERT_TRUE(plugin_.Loaded()) << plugin_.Error();
}

TEST_F(PluginLoadingTest, RegistrationRecordForVersions2_3_7) {
  ASSERT_TRUE(plugin_.Loaded()) << plugin_.Error();
  auto refused = FilledRecord(2);
  EXPECT_EQ(plugin_.Call(0, refused), 0);
  auto expected = FilledRecord(2);
  expected[4] = 0;
  EXPECT_EQ(refused, expected) << "a refusal writes the accepted byte only";

  for (std::int32_t version : {3, 7}) {
    auto record = FilledRecord(version);
    EXPECT_EQ(plugin_.Call(0, record), 0);
    ExpectRegistered(record);
  }
  auto negative = FilledRecord(-5);
  plugin_.Call(0, negative);
  EXPECT_EQ(negative[4], 0);
}

TEST_F(PluginLoadingTest, SelectorsOutsideTheTableDoNothing) {
  ASSERT_TRUE(plugin_.Loaded()) << plugin_.Error();
  for (std::uint32_t selector : {1u, 40u, 0xFFFFFFFFu}) {
    std::vector<std::uint8_t> block(2048, 0x5A);
    EXPECT_EQ(plugin_.Call(selector, block), 0);
    EXPECT_EQ(block, std::vector<std::uint8_t>(2048, 0x5A));
  }
  EXPECT_TRUE(wsm::TheLog().boxes.empty());
}

TEST_F(PluginLoadingTest, GatedOperationWhileNotConnectedLeavesItsBlock) {
  ASSERT_TRUE(plugin_.Loaded()) << plugin_.Error();
  std::vector<std::uint8_t> block(16, 0x77);
  EXPECT_EQ(plugin_.Call(8, block), 0);
  EXPECT_EQ(block, std::vector<std::uint8_t>(16, 0x77));
  std::vector<std::uint8_t> menu(1200, 0x11);
  testhost::PutI32(menu, 1108, 0x300);
  const auto before = menu;
  plugin_.Call(14, menu);
  EXPECT_EQ(menu, before);
  EXPECT_TRUE(wsm::TheLog().menus.empty());
}

TEST_F(PluginLoadingTest, RegistrationReadsTheProfileInTheConfigurationFolder) {
  ASSERT_TRUE(plugin_.Loaded()) << plugin_.Error();
  config_.WriteProfile("[ZazuvUzarDLL]\nMountType=AA\n");
  auto record = FilledRecord(4);
  plugin_.Call(0, record);
  // The menu state of an always-enabled item answers whatever the profile says;
  // the profile itself is untouched by loading.
  EXPECT_EQ(config_.ReadProfile(), "[ZazuvUzarDLL]\nMountType=AA\n");
  std::vector<std::uint8_t> query(8, 0x99);
  testhost::PutI32(query, 0, 8200);
  plugin_.Call(22, query);
  EXPECT_EQ(query[4], 1);
  EXPECT_EQ(query[5], 0);
}

TEST_F(PluginLoadingTest, MenuItemStatesWhileNotConnected) {
  ASSERT_TRUE(plugin_.Loaded()) << plugin_.Error();
  struct Expect {
    std::int32_t id;
    std::uint8_t enabled;
  };
  for (Expect e : {Expect{8200, 1}, Expect{8201, 0}, Expect{8202, 0}, Expect{8203, 1},
                   Expect{8204, 0}, Expect{8205, 0}, Expect{8206, 0}, Expect{8207, 0},
                   Expect{8199, 0x99}, Expect{8208, 0x99}}) {
    std::vector<std::uint8_t> query(8, 0x99);
    testhost::PutI32(query, 0, e.id);
    plugin_.Call(22, query);
    EXPECT_EQ(query[4], e.enabled) << e.id;
    EXPECT_EQ(query[5], 0) << e.id;
    EXPECT_EQ(query[6], 0x99);
  }
}

}  // namespace
