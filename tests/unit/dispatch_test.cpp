// The entry point, the operation table and the values the dispatcher keeps.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "fake_platform.h"
#include "plugin/plugin.h"
#include "temp_config.h"
#include "window_system_model.h"

namespace {

class DispatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ctl::ResetState();
    wsm::Reset();
  }
  testsupport::TempConfigDir config_;
};

std::vector<std::uint8_t> Pattern(std::size_t size) {
  std::vector<std::uint8_t> block(size);
  for (std::size_t i = 0; i < size; ++i) block[i] = static_cast<std::uint8_t>(0xA5 ^ i);
  return block;
}

TEST_F(DispatchTest, SelectorsWithoutActionChangeNothing) {
  for (std::uint32_t selector : {1u, 3u, 9u, 16u, 31u, 35u, 40u, 0xFFFFFFFFu, 0x80000000u}) {
    auto block = Pattern(2048);
    const auto before = block;
    EXPECT_EQ(DoOperation(selector, reinterpret_cast<std::uintptr_t>(block.data())), 0);
    EXPECT_EQ(block, before) << "selector " << selector;
  }
  EXPECT_TRUE(wsm::TheLog().boxes.empty());
  EXPECT_TRUE(wsm::TheLog().menus.empty());
}

TEST_F(DispatchTest, GatedOperationsWhileNotConnectedTouchNothing) {
  ctl::State().reporting = 1;
  for (std::uint32_t selector : {8u, 14u, 15u, 21u, 24u, 25u, 28u, 29u, 30u}) {
    auto block = Pattern(2048);
    block[1116] = 0x21;  // command 20001 in the object menu block
    block[1117] = 0x4E;
    block[1118] = 0;
    block[1119] = 0;
    const auto before = block;
    EXPECT_EQ(DoOperation(selector, reinterpret_cast<std::uintptr_t>(block.data())), 0);
    EXPECT_EQ(block, before) << "selector " << selector;
  }
  EXPECT_EQ(ctl::State().reporting, 1) << "operation 28 toggled while not connected";
  EXPECT_TRUE(wsm::TheLog().boxes.empty());
  EXPECT_TRUE(wsm::TheLog().menus.empty());
}

TEST_F(DispatchTest, DebugWindowHandleIsTheParameterItself) {
  EXPECT_EQ(ctl::State().debug_window, plat::kInvalidHandle);
  DoOperation(2, 0x1111);
  EXPECT_EQ(ctl::State().debug_window, 0x1111u);
  DoOperation(38, 0x2222);
  EXPECT_EQ(ctl::State().debug_window, 0x2222u);
}

TEST_F(DispatchTest, FirstNonZeroHostContextSticks) {
  std::vector<std::uint8_t> block(16, 0);
  DoOperation(39, reinterpret_cast<std::uintptr_t>(block.data()));
  EXPECT_EQ(ctl::State().host_context, 0u);
  block[12] = 0x78, block[13] = 0x56, block[14] = 0x34, block[15] = 0x12;
  DoOperation(39, reinterpret_cast<std::uintptr_t>(block.data()));
  EXPECT_EQ(ctl::State().host_context, 0x12345678u);
  block[12] = 0x01;
  DoOperation(39, reinterpret_cast<std::uintptr_t>(block.data()));
  EXPECT_EQ(ctl::State().host_context, 0x12345678u);
}

TEST_F(DispatchTest, NullBlocksAreIgnored) {
  ctl::State().connected = 1;
  for (std::uint32_t selector : {0u, 8u, 14u, 15u, 21u, 22u, 34u, 39u}) {
    EXPECT_EQ(DoOperation(selector, 0), 0);
  }
  ctl::State().connected = 0;
}

TEST_F(DispatchTest, MessagesByIdShowOneSystemModalBoxEach) {
  ctl::State().connected = 1;
  const auto settings_before = ctl::State().settings.ResRA;
  for (std::uint32_t selector : {24u, 25u, 29u}) DoOperation(selector, 0);
  ctl::State().connected = 0;
  const auto& boxes = wsm::TheLog().boxes;
  ASSERT_EQ(boxes.size(), 3u);
  for (const auto& box : boxes) {
    EXPECT_EQ(box.caption, "Telescope Controller");
    EXPECT_EQ(box.style, 0x1000u) << "system-modal, OK button, no icon";
    EXPECT_EQ(box.owner, wsm::TheBehaviour().focus);
    EXPECT_FALSE(box.text.empty());
  }
  EXPECT_NE(boxes[0].text, boxes[1].text);
  EXPECT_EQ(ctl::State().settings.ResRA, settings_before);
}

TEST_F(DispatchTest, CountedStrings) {
  std::uint8_t counted[260];
  std::memset(counted, 0xEE, sizeof counted);
  ctl::ToCountedString(counted, "");
  EXPECT_EQ(counted[0], 0);
  EXPECT_EQ(counted[1], 0);
  EXPECT_EQ(counted[2], 0xEE);

  ctl::ToCountedString(counted, "Vega");
  EXPECT_EQ(counted[0], 4);
  EXPECT_EQ(std::memcmp(counted + 1, "Vega", 4), 0);
  EXPECT_EQ(counted[5], 0);

  char text[257];
  std::memset(text, 'x', sizeof text);
  const std::uint8_t empty[1] = {0};
  EXPECT_STREQ(ctl::FromCountedString(text, empty), "");

  std::uint8_t longest[256];
  longest[0] = 255;
  std::memset(longest + 1, 'n', 255);
  ctl::FromCountedString(text, longest);
  EXPECT_EQ(std::strlen(text), 255u);
}

}  // namespace
