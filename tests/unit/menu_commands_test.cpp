// The telescope's object menu (operations 14 and 15), the host's menu item
// states (operation 22) and the reporting switch (operation 28).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "plugin/bytes.h"
#include "plugin/plugin.h"
#include "temp_config.h"
#include "test_blocks.h"
#include "window_system_model.h"

namespace {

std::vector<std::uint8_t> ObjectBlock(std::int32_t command, const std::string& name,
                                      double ra = 0.0, double dec = 0.0) {
  return testsupport::ObjectMenuBlock(command, name, ra, dec, 0x5A);
}

std::uintptr_t Address(std::vector<std::uint8_t>& block) {
  return reinterpret_cast<std::uintptr_t>(block.data());
}

class MenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ctl::ResetState();
    wsm::Reset();
  }
  void TearDown() override { ctl::ResetState(); }

  static void Connect(bool on) { ctl::State().connected = on ? 1 : 0; }

  // Operation 22 for one item; the enabled and checked bytes start as 0x77.
  static std::pair<std::uint8_t, std::uint8_t> ItemState(std::int32_t id) {
    std::vector<std::uint8_t> query(8, 0x77);
    ctl::bytes::PutI32(query.data(), 0, id);
    DoOperation(22, Address(query));
    EXPECT_EQ(query[6], 0x77);
    EXPECT_EQ(query[7], 0x77);
    return {query[4], query[5]};
  }

  testsupport::TempConfigDir config_;
};

TEST_F(MenuTest, BuildObjectMenuAppendsSixItemsInOrder) {
  Connect(true);
  std::vector<std::uint8_t> block(1200, 0x00);
  ctl::bytes::PutU32(block.data(), 1108, 0x0BADF00D);
  const auto before = block;
  DoOperation(14, Address(block));
  EXPECT_EQ(block, before) << "operation 14 writes nothing into its block";

  struct Expected {
    std::uint32_t flags;
    std::uint32_t id;
    const char* text;
  };
  const Expected expected[] = {
      {0x800, 0, nullptr},
      {0, 20002, "Add to Calibrate List"},
      {0, 20003, "Remove from Calibrate List"},
      {0, 20004, "Sight Object"},
      {0x800, 0, nullptr},
      {0, 20001, "Calibrate Telescope"},
  };
  const auto& menus = wsm::TheLog().menus;
  ASSERT_EQ(menus.size(), 6u);
  for (std::size_t i = 0; i < menus.size(); ++i) {
    EXPECT_EQ(menus[i].menu, 0x0BADF00Du) << i;
    EXPECT_EQ(menus[i].flags, expected[i].flags) << i;
    if (expected[i].text == nullptr) {
      EXPECT_FALSE(menus[i].has_text) << i;
    } else {
      EXPECT_EQ(menus[i].id, expected[i].id) << i;
      EXPECT_EQ(menus[i].text, expected[i].text) << i;
    }
  }
  EXPECT_TRUE(wsm::TheLog().boxes.empty());
}

TEST_F(MenuTest, BuildObjectMenuWhileNotConnectedAppendsNothing) {
  std::vector<std::uint8_t> block(1200, 0x00);
  ctl::bytes::PutU32(block.data(), 1108, 0x1234);
  DoOperation(14, Address(block));
  EXPECT_TRUE(wsm::TheLog().menus.empty());
}

TEST_F(MenuTest, CommandTwentyThousandShowsString504) {
  Connect(true);
  auto block = ObjectBlock(20000, "Vega");
  DoOperation(15, Address(block));
  ASSERT_EQ(wsm::TheLog().boxes.size(), 1u);
  EXPECT_EQ(wsm::TheLog().boxes[0].caption, "Telescope Controller");
  EXPECT_EQ(wsm::TheLog().boxes[0].text,
            "Use Add to Calibrate List, Sight Object and Calibrate Telescope to calibrate the "
            "telescope.");
  EXPECT_EQ(ctl::State().calibration.count, 0);
}

TEST_F(MenuTest, CommandIdsOutsideTheRangeDoNothing) {
  Connect(true);
  auto add = ObjectBlock(20002, "Vega", 1.0, 0.5);
  DoOperation(15, Address(add));
  const ctl::CalibrationList before = ctl::State().calibration;
  for (std::int32_t id : {0, 19999, 20005, 20100, -20002, 8205}) {
    auto block = ObjectBlock(id, "Vega", 2.0, 0.25);
    DoOperation(15, Address(block));
  }
  EXPECT_TRUE(wsm::TheLog().boxes.empty());
  EXPECT_TRUE(wsm::TheLog().menus.empty());
  EXPECT_EQ(std::memcmp(&before, &ctl::State().calibration, sizeof before), 0);
  EXPECT_EQ(ctl::State().reporting, 0);
}

TEST_F(MenuTest, ObjectNameOf255CharactersArrivesWhole) {
  Connect(true);
  std::string name;
  for (int i = 0; i < 255; ++i) name += static_cast<char>('A' + i % 26);
  auto add = ObjectBlock(20002, name, 1.25, -0.5);
  add[8 + 1 + 255] = 'Z';  // no terminator in a counted string
  DoOperation(15, Address(add));
  ASSERT_EQ(ctl::State().calibration.count, 1);
  EXPECT_EQ(std::string(ctl::State().calibration.entries[0].name), name);
  EXPECT_EQ(ctl::State().calibration.entries[0].catalogue1, 1.25);
  EXPECT_EQ(ctl::State().calibration.entries[0].catalogue2, -0.5);

  auto remove = ObjectBlock(20003, name);
  DoOperation(15, Address(remove));
  EXPECT_TRUE(wsm::TheLog().boxes.empty());
  EXPECT_EQ(ctl::State().calibration.count, 0);
}

TEST_F(MenuTest, SightingAfterAFailedQueryRecordsNothing) {
  // Connected, but with no port to talk to: the query cannot send "Q".
  Connect(true);
  auto add = ObjectBlock(20002, "Vega", 1.0, 0.5);
  DoOperation(15, Address(add));
  const ctl::CalibrationEntry before = ctl::State().calibration.entries[0];
  auto sight = ObjectBlock(20004, "Vega");
  DoOperation(15, Address(sight));
  const ctl::CalibrationEntry& after = ctl::State().calibration.entries[0];
  EXPECT_EQ(after.sighted, 0);
  EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
  for (const auto& box : wsm::TheLog().boxes) {
    EXPECT_NE(box.caption, "Not Found");
    EXPECT_NE(box.caption, "Empty List");
  }
}

TEST_F(MenuTest, MenuItemStatesWhileConnected) {
  Connect(true);
  EXPECT_EQ(ItemState(8200), std::make_pair(std::uint8_t{1}, std::uint8_t{0}));
  EXPECT_EQ(ItemState(8201), std::make_pair(std::uint8_t{0}, std::uint8_t{0}));
  EXPECT_EQ(ItemState(8202), std::make_pair(std::uint8_t{0}, std::uint8_t{0}));
  EXPECT_EQ(ItemState(8203), std::make_pair(std::uint8_t{0}, std::uint8_t{0}));
  EXPECT_EQ(ItemState(8204), std::make_pair(std::uint8_t{1}, std::uint8_t{0}));
  EXPECT_EQ(ItemState(8205), std::make_pair(std::uint8_t{1}, std::uint8_t{0}));
  EXPECT_EQ(ItemState(8206), std::make_pair(std::uint8_t{0}, std::uint8_t{0}));
  EXPECT_EQ(ItemState(8207), std::make_pair(std::uint8_t{0}, std::uint8_t{0}));
  ctl::State().reporting = 1;
  EXPECT_EQ(ItemState(8205), std::make_pair(std::uint8_t{1}, std::uint8_t{1}));
}

TEST_F(MenuTest, MenuItemStatesWhileNotConnected) {
  ctl::State().reporting = 1;
  EXPECT_EQ(ItemState(8200), std::make_pair(std::uint8_t{1}, std::uint8_t{0}));
  EXPECT_EQ(ItemState(8203), std::make_pair(std::uint8_t{1}, std::uint8_t{0}));
  EXPECT_EQ(ItemState(8204), std::make_pair(std::uint8_t{0}, std::uint8_t{0}));
  EXPECT_EQ(ItemState(8205), std::make_pair(std::uint8_t{0}, std::uint8_t{1}));
  for (std::int32_t id : {8201, 8202, 8206, 8207}) {
    EXPECT_EQ(ItemState(id), std::make_pair(std::uint8_t{0}, std::uint8_t{0})) << id;
  }
}

TEST_F(MenuTest, OtherItemsKeepTheirEnabledByteAndAreUnchecked) {
  for (bool connected : {false, true}) {
    Connect(connected);
    for (std::int32_t id : {0, 8199, 8208, 20001, -8205}) {
      EXPECT_EQ(ItemState(id), std::make_pair(std::uint8_t{0x77}, std::uint8_t{0})) << id;
    }
  }
}

TEST_F(MenuTest, ToggleReportingOnlyWhileConnected) {
  Connect(true);
  DoOperation(28, 0);
  EXPECT_EQ(ctl::State().reporting, 1);
  DoOperation(28, 0);
  EXPECT_EQ(ctl::State().reporting, 0);
  DoOperation(28, 0);
  Connect(false);
  DoOperation(28, 0);
  EXPECT_EQ(ctl::State().reporting, 1);
  EXPECT_TRUE(wsm::TheLog().boxes.empty());
}

}  // namespace
