// A host that calls the real Controller.plug again while an operation is
// still in progress: from within a message box or the dialog, as a host's
// timer does in a modal loop.  The call in progress is not disturbed, the
// periodic operation answers that no report is due, and every other
// operation is refused without effect.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dsc_sim.h"
#include "plugin_loader.h"
#include "temp_config.h"
#include "window_system_model.h"

namespace {

constexpr std::uint8_t kUnwritten = 0xEE;

class Reentry : public ::testing::Test {
 protected:
  void SetUp() override {
    wsm::Reset();
    ASSERT_TRUE(plugin_.Loaded()) << plugin_.Error();
    ASSERT_TRUE(box_.Start());
    config_.LinkPort("COM1", box_.SlavePath());
    testhost::Register(plugin_);
    plugin_.Call(26, 0);
    ASSERT_TRUE(testhost::Connected(plugin_));
    plugin_.Call(28, 0);  // reporting on: a report would be due
  }
  void TearDown() override { wsm::Reset(); }

  // The nested calls: operation 8 answers that no report is due, every
  // other leaves its block exactly as it was.
  void CallAgain() {
    ++nested_;
    std::vector<std::uint8_t> update(16, kUnwritten);
    plugin_.Call(8, update);
    EXPECT_EQ(testhost::GetI32(update, 4), 5);
    EXPECT_EQ(testhost::GetU32(update, 8), 0u);
    EXPECT_EQ(std::vector<std::uint8_t>(update.begin() + 12, update.end()),
              std::vector<std::uint8_t>(4, kUnwritten));
    for (std::uint32_t op : {0u, 14u, 15u, 21u, 22u, 23u, 24u, 26u, 27u, 28u, 30u, 34u, 39u}) {
      std::vector<std::uint8_t> block(1200, kUnwritten);
      testhost::PutI32(block, 0, op == 22 ? 8204 : 4);
      std::vector<std::uint8_t> before = block;
      plugin_.Call(op, block);
      EXPECT_EQ(block, before) << "operation " << op;
    }
  }

  testsupport::TempConfigDir config_;
  testhost::Plugin plugin_;
  dscsim::Box box_;
  int nested_ = 0;
};

TEST_F(Reentry, CallsFromWithinAMessageBoxTouchNothing) {
  wsm::TheBehaviour().while_box_up = [this](const wsm::MessageBoxCall&) { CallAgain(); };
  plugin_.Call(24, 0);  // a message box while connected
  wsm::TheBehaviour().while_box_up = nullptr;
  EXPECT_EQ(nested_, 1);
  EXPECT_EQ(wsm::TheLog().boxes.size(), 1u) << "no box of a nested call";
  EXPECT_EQ(wsm::TheLog().dialogs_opened, 0);
  EXPECT_EQ(box_.GetStats().q_received, 0u) << "no query of a nested call";
  // Still connected and reporting: the nested disconnect and toggle were refused.
  EXPECT_EQ(testhost::MenuItemState(plugin_, 8204).enabled, 1);
  EXPECT_EQ(testhost::MenuItemState(plugin_, 8205).checked, 1);
  // Once the box is closed the plug-in answers again.
  std::vector<std::uint8_t> update(16, kUnwritten);
  plugin_.Call(8, update);
  EXPECT_NE(testhost::GetI32(update, 4), 5);
}

TEST_F(Reentry, CallsFromWithinTheDialogTouchNothing) {
  wsm::SetDialogScript([this](wsm::Dialog& dialog) {
    CallAgain();
    dialog.Click(2);
  });
  plugin_.Call(23, 0);
  EXPECT_EQ(nested_, 1);
  EXPECT_EQ(wsm::TheLog().dialogs_opened, 1) << "no nested dialog";
  EXPECT_TRUE(wsm::TheLog().boxes.empty());
  EXPECT_EQ(testhost::MenuItemState(plugin_, 8204).enabled, 1);
}

}  // namespace
