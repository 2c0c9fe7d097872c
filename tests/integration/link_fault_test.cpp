// The link breaking in the ways a cold night breaks it: the real
// Controller.plug, loaded by a test host, over a real pseudo-terminal with
// the simulated box.  Each test is named for what the user sees.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "dsc_sim.h"
#include "link/messages.h"
#include "plugin_loader.h"
#include "port_holder.h"
#include "temp_config.h"
#include "window_system_model.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr double kPi = 3.141592653589793;
constexpr double kRefRA = 0.665777659788;
constexpr double kRefDec = 1.55817662667;
constexpr double kRadPerCount = 2.0 * kPi / 4096.0;
constexpr const char* kAnswer = "+00010\t-00020\r";  // the counts 10 and -20

class LinkFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    wsm::Reset();
    ASSERT_TRUE(plugin_.Loaded()) << plugin_.Error();
    std::string error;
    ASSERT_TRUE(box_.Start(&error)) << error;
    config_.LinkPort("COM1", box_.SlavePath());
    config_.WriteProfile(
        "[ZazuvUzarDLL]\nResRA=4096\nResDec=4096\nCommPort=COM1\nMountType=EQ\nPCode=OFF\n");
    testhost::Register(plugin_, 3);
    plugin_.Call(27, 0);  // whatever an earlier test left open
    box_.SetCounts(10, -20);
  }
  void TearDown() override {
    plugin_.Call(27, 0);
    box_.Stop();
  }
  void Connect(const testhost::Plugin& plugin) {
    plugin.Call(26, 0);
    ASSERT_TRUE(testhost::Connected(plugin));
  }
  // Operation 21; `filled` tells whether the plug-in wrote a position.
  struct Reading {
    double ra = 0.0, dec = 0.0;
    bool filled = false;
  };
  Reading Read(const testhost::Plugin& plugin) {
    std::vector<std::uint8_t> record(400, 0xCC);
    plugin.Call(21, record);
    return {testhost::GetF64(record, 8), testhost::GetF64(record, 16), record[62] == 9};
  }
  Reading Read() { return Read(plugin_); }
  // Whether a reading is the position of the counts 10 and -20.
  static bool IsTheBoxsReading(const Reading& r) {
    return r.filled && std::fabs(r.ra - (kRefRA + 10 * kRadPerCount)) < 1e-12 &&
           std::fabs(r.dec - (kRefDec - 20 * kRadPerCount)) < 1e-12;
  }
  static int Boxes(const std::string& text) {
    int n = 0;
    for (const auto& b : wsm::TheLog().boxes) n += b.text == text ? 1 : 0;
    return n;
  }
  // Waits until the box has sent everything it was asked for, and the
  // terminal has passed it on.
  void LetTheBoxFinish() {
    ASSERT_TRUE(
        box_.WaitFor([](const dscsim::Stats& s) { return s.q_answered == s.q_received; }, 3000ms));
    std::this_thread::sleep_for(30ms);
  }

  testsupport::TempConfigDir config_;
  testhost::Plugin plugin_;
  dscsim::Box box_;
};

TEST_F(LinkFaults, UnpluggedMidSessionEachReadingSaysSendFailedAndAfterReplugTheNextConnectWorks) {
  Connect(plugin_);
  ASSERT_TRUE(IsTheBoxsReading(Read()));
  ASSERT_TRUE(box_.Unplug());
  for (int i = 0; i < 3; ++i) {
    const auto start = Clock::now();
    EXPECT_FALSE(Read().filled);
    EXPECT_LT(Clock::now() - start, 1s) << "no hang";
  }
  EXPECT_EQ(Boxes("Failed to send Q command."), 3);
  plugin_.Call(27, 0);
  EXPECT_FALSE(testhost::Connected(plugin_));
  EXPECT_EQ(Boxes("Can't close port."), 0) << "a hung-up port still closes";

  std::string error;
  ASSERT_TRUE(box_.Replug(&error)) << error;
  config_.LinkPort("COM1", box_.SlavePath());  // the device came back under a new name
  wsm::Reset();
  Connect(plugin_);
  EXPECT_TRUE(IsTheBoxsReading(Read()));
  EXPECT_TRUE(wsm::TheLog().boxes.empty());
}

TEST_F(LinkFaults, AnAnswerLaterThanTheReadWaitsIsDroppedAndTheNextReadingIsRight) {
  Connect(plugin_);
  box_.SetCounts(500, 600);
  box_.SetAnswerDelay(300);  // the read gives up after 240 ms
  EXPECT_FALSE(IsTheBoxsReading(Read()));
  box_.SetAnswerDelay(0);
  box_.SetCounts(10, -20);
  LetTheBoxFinish();  // the late answer waits in the port; the next purge takes it
  EXPECT_TRUE(IsTheBoxsReading(Read()));
  EXPECT_TRUE(IsTheBoxsReading(Read()));
}

TEST_F(LinkFaults, BytesJustUnder20msApartStillMakeAFullReading) {
  Connect(plugin_);
  box_.SetByteGap(14);  // about 15 ms from byte to byte
  // A loaded machine may wake the reader late once; three tries are plenty.
  bool right = false;
  for (int i = 0; i < 3 && !right; ++i) {
    right = IsTheBoxsReading(Read());
    LetTheBoxFinish();
  }
  EXPECT_TRUE(right);
}

TEST_F(LinkFaults, BytesJustOver20msApartGiveNoReadingOfTheBoxAndTheNextFullAnswerDoes) {
  Connect(plugin_);
  box_.SetByteGap(24);  // about 25 ms from byte to byte: the read ends after the first
  const auto start = Clock::now();
  EXPECT_FALSE(IsTheBoxsReading(Read()));
  EXPECT_LT(Clock::now() - start, 200ms) << "the pause ends the read, not the total time-out";
  box_.SetByteGap(0);
  LetTheBoxFinish();
  EXPECT_TRUE(IsTheBoxsReading(Read()));
}

TEST_F(LinkFaults, XoffFromTheBoxWhileAQueryWaitsHoldsTheNextQueryUntilXon) {
  Connect(plugin_);
  box_.SetAnswerDelay(60);
  std::thread flow([this] {
    box_.WaitFor([](const dscsim::Stats& s) { return s.q_received >= 1; }, 2000ms);
    box_.SendNow("\x13");  // XOFF, before the answer
  });
  const Reading first = Read();
  flow.join();
  EXPECT_TRUE(IsTheBoxsReading(first)) << "the XOFF is flow control, not part of the answer";
  box_.SetAnswerDelay(0);

  // Held: "Q" cannot go out, and the query gives up within the write time-out.
  const auto start = Clock::now();
  EXPECT_FALSE(Read().filled);
  EXPECT_LT(Clock::now() - start, 1s);
  EXPECT_EQ(Boxes("Failed to send Q command."), 1);

  ASSERT_TRUE(box_.SendNow("\x11"));  // XON
  std::this_thread::sleep_for(20ms);
  EXPECT_TRUE(IsTheBoxsReading(Read()));
  EXPECT_EQ(wsm::TheLog().boxes.size(), 1u);
}

// Answers a working box never gives: the reading is the box's, and what is
// left over is dropped before the next query.
TEST_F(LinkFaults, OddAnswersStillGiveTheRightReading) {
  struct Case {
    const char* what;
    std::string answer;
  } cases[] = {
      {"extra bytes", std::string(kAnswer) + "XYZ"},
      {"CR LF line end", std::string(kAnswer) + "\n"},
      {"NUL as the separator", std::string("+00010\0-00020\r", 14)},
      {"200 bytes", std::string(kAnswer) + std::string(186, '#')},
  };
  Connect(plugin_);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(box_.SetCountsBytes(c.answer));
    EXPECT_TRUE(IsTheBoxsReading(Read()));
    LetTheBoxFinish();
    EXPECT_TRUE(IsTheBoxsReading(Read())) << "nothing left over reached the next reading";
    LetTheBoxFinish();
  }
  EXPECT_TRUE(wsm::TheLog().boxes.empty());
}

TEST_F(LinkFaults, APortHeldByAnotherProgramSaysItCannotOpenUntilThatProgramLetsGo) {
  testsupport::PortHolder other(box_.SlavePath());
  ASSERT_TRUE(other.Holding());
  plugin_.Call(26, 0);
  EXPECT_FALSE(testhost::Connected(plugin_));
  EXPECT_EQ(Boxes(ctl::msg::kCannotOpenPort), 1);
  EXPECT_EQ(wsm::TheLog().boxes.size(), 1u);
  other.Release();
  Connect(plugin_);
  EXPECT_TRUE(IsTheBoxsReading(Read()));
}

TEST_F(LinkFaults, TheSamePortFromTwoHostsConnectsOnlyOneAtATime) {
  // A second host: its own copy of the plug-in, with its own state.
  const std::filesystem::path copy = config_.Path() / "Controller.plug";
  std::filesystem::copy_file(CONTROLLER_PLUG_PATH, copy);
  testhost::Plugin second(copy.string());
  ASSERT_TRUE(second.Loaded()) << second.Error();
  testhost::Register(second, 3);

  Connect(plugin_);
  second.Call(26, 0);
  EXPECT_FALSE(testhost::Connected(second));
  EXPECT_EQ(Boxes(ctl::msg::kCannotOpenPort), 1);
  EXPECT_TRUE(IsTheBoxsReading(Read())) << "the first host keeps its port";

  plugin_.Call(27, 0);
  Connect(second);
  EXPECT_TRUE(IsTheBoxsReading(Read(second)));
  plugin_.Call(26, 0);
  EXPECT_FALSE(testhost::Connected(plugin_));
  EXPECT_EQ(Boxes(ctl::msg::kCannotOpenPort), 2);
  second.Call(27, 0);
}

}  // namespace
