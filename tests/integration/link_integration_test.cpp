// The real Controller.plug, loaded by a host, talking to the simulated box
// over a real pseudo-terminal: the encoder link and the positions it gives.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "astro_vl.h"
#include "dsc_sim.h"
#include "link/messages.h"
#include "plugin_loader.h"
#include "port_holder.h"
#include "temp_config.h"
#include "window_system_model.h"

namespace {

using testhost::GetF64;
using testhost::GetI32;
using testhost::GetU32;

constexpr double kPi = 3.141592653589793;
constexpr double kRefRA = 0.665777659788;
constexpr double kRefDec = 1.55817662667;
constexpr double kRadPerCount = 2.0 * kPi / 4096.0;

// A peer on a pseudo-terminal answering "Q" with exactly the bytes given:
// for answers the simulated box never sends.
class ScriptedBox {
 public:
  explicit ScriptedBox(std::string q_answer) : q_(std::move(q_answer)) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    path_ = ptsname(master_);
    keep_ = open(path_.c_str(), O_RDWR | O_NOCTTY);
    thread_ = std::thread([this] {
      while (!stop_) {
        pollfd pfd{master_, POLLIN, 0};
        if (poll(&pfd, 1, 20) <= 0) continue;
        char c = 0;
        if (read(master_, &c, 1) != 1) continue;
        if (c == 'Q') (void)!write(master_, q_.data(), q_.size());
        if (c == 'P') (void)!write(master_, "000\r", 4);
      }
    });
  }
  ~ScriptedBox() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (keep_ >= 0) close(keep_);
    if (master_ >= 0) close(master_);
  }
  const std::string& Path() const { return path_; }

 private:
  int master_ = -1;
  int keep_ = -1;
  std::string path_;
  std::string q_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

class LinkIntegrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wsm::Reset();
    astro::vl::ClearContexts();
    ASSERT_TRUE(plugin_.Loaded()) << plugin_.Error();
    std::string error;
    ASSERT_TRUE(box_.Start(&error)) << error;
    config_.LinkPort("COM1", box_.SlavePath());
    WriteSettings("ON");
    plugin_.Call(27, 0);  // whatever an earlier load left
  }
  void TearDown() override {
    plugin_.Call(27, 0);
    box_.Stop();
  }
  void WriteSettings(const std::string& pcode, const std::string& port = "COM1") {
    config_.WriteProfile("[ZazuvUzarDLL]\nResRA=4096\nResDec=4096\nCommPort=" + port +
                         "\nMountType=EQ\nPCode=" + pcode + "\n");
    testhost::Register(plugin_, 3);
  }
  void SetTime(double day) { testhost::SetTime(plugin_, day); }
  bool Connected() { return testhost::Connected(plugin_); }
  void Connect() {
    plugin_.Call(26, 0);
    ASSERT_TRUE(Connected());
  }
  // Operation 21: right ascension and declination of the telescope.
  struct Sky {
    double ra = 0.0, dec = 0.0;
    bool filled = false;
  };
  Sky Telescope() {
    std::vector<std::uint8_t> record(400, 0xCC);
    plugin_.Call(21, record);
    return {GetF64(record, 8), GetF64(record, 16), record[62] == 9};
  }
  static Sky Expected(double count1, double count2, double drift = 0.0) {
    double a = count1 * kRadPerCount + kRefRA + drift;
    double b = count2 * kRadPerCount + kRefDec;
    while (a < 0) a += 2 * kPi;
    while (a > 2 * kPi) a -= 2 * kPi;
    if (b > kPi / 2) b = kPi - b, a = a < kPi ? a + kPi : a - kPi;
    return {a, b, true};
  }
  static int Boxes(const std::string& text) {
    int n = 0;
    for (const auto& b : wsm::TheLog().boxes) n += b.text == text ? 1 : 0;
    return n;
  }

  testsupport::TempConfigDir config_;
  testhost::Plugin plugin_;
  dscsim::Box box_;
};

TEST_F(LinkIntegrationTest, WorkedAnswerGivesThePositionOfItsCounts) {
  Connect();
  box_.SetCounts(1234, -567);
  const Sky sky = Telescope();
  ASSERT_TRUE(sky.filled);
  const Sky expected = Expected(1234, -567);
  EXPECT_NEAR(sky.ra, expected.ra, 1e-12);
  EXPECT_NEAR(sky.dec, expected.dec, 1e-12);
  EXPECT_TRUE(wsm::TheLog().boxes.empty());
}

TEST_F(LinkIntegrationTest, ALeadingJunkByteStillGivesBothCounts) {
  ScriptedBox peer("X+01234\t-00567");
  config_.LinkPort("COM1", peer.Path());
  Connect();
  const Sky sky = Telescope();
  const Sky expected = Expected(1234, -567);
  EXPECT_NEAR(sky.ra, expected.ra, 1e-12);
  EXPECT_NEAR(sky.dec, expected.dec, 1e-12);
}

TEST_F(LinkIntegrationTest, ThirteenByteAnswersGiveNoPosition) {
  Connect();
  box_.SetCounts(1234, -567);
  box_.SetShortAnswer(13);
  const Sky sky = Telescope();
  EXPECT_FALSE(sky.filled) << "not the reference point: no position at all";
  EXPECT_TRUE(wsm::TheLog().boxes.empty());
}

TEST_F(LinkIntegrationTest, StatusQueryOnAsksForTheStatusAndOffDoesNot) {
  Connect();
  Telescope();
  EXPECT_EQ(box_.GetStats().q_received, 1u);
  EXPECT_EQ(box_.GetStats().p_received, 1u);
  plugin_.Call(27, 0);
  WriteSettings("OFF");
  Connect();
  box_.ResetStats();
  Telescope();
  Telescope();
  EXPECT_EQ(box_.GetStats().q_received, 2u);
  EXPECT_EQ(box_.GetStats().p_received, 0u);
}

TEST_F(LinkIntegrationTest, ShortAnswersToBothQueriesCountTwiceEach) {
  // Three bytes for "Q" and for "P" (the status 2989): two failures a query,
  // so the eleventh query passes twenty and warns.
  Connect();
  box_.SetShortAnswer(3);
  for (int i = 0; i < 10; ++i) Telescope();
  EXPECT_TRUE(wsm::TheLog().boxes.empty());
  Telescope();
  EXPECT_EQ(Boxes("Close serial port and check connections."), 1);
}

TEST_F(LinkIntegrationTest, TwentyOneShortAnswersInARowWarnOnce) {
  WriteSettings("OFF");
  Connect();
  box_.SetShortAnswer(13);
  for (int i = 0; i < 20; ++i) Telescope();
  EXPECT_TRUE(wsm::TheLog().boxes.empty());
  Telescope();
  ASSERT_EQ(wsm::TheLog().boxes.size(), 1u);
  const auto& box = wsm::TheLog().boxes[0];
  EXPECT_EQ(box.text, "Close serial port and check connections.");
  EXPECT_EQ(box.caption, "Communication Error");
  EXPECT_EQ(box.style, 0x30u);
  EXPECT_EQ(box.owner, 0u);
  // The count started again: twenty more pass without a warning.
  for (int i = 0; i < 20; ++i) Telescope();
  EXPECT_EQ(wsm::TheLog().boxes.size(), 1u);
}

TEST_F(LinkIntegrationTest, APortThatDoesNotExist) {
  config_.LinkPort("COM4", "/nonexistent/tty");
  WriteSettings("ON", "COM4");
  plugin_.Call(26, 0);
  EXPECT_FALSE(Connected());
  ASSERT_EQ(wsm::TheLog().boxes.size(), 1u);
  const auto& box = wsm::TheLog().boxes[0];
  EXPECT_EQ(box.text, ctl::msg::kCannotOpenPort);
  EXPECT_EQ(box.caption, "Comm Error");
  EXPECT_EQ(box.style, 0x1010u);
  // Gated operations do nothing; a later connect to a real port works.
  std::vector<std::uint8_t> record(400, 0xCC);
  plugin_.Call(21, record);
  EXPECT_EQ(record[62], 0xCC);
  WriteSettings("ON", "COM1");
  Connect();
  EXPECT_TRUE(Telescope().filled);
}

TEST_F(LinkIntegrationTest, APortHeldOpenByAnotherProcess) {
  testsupport::PortHolder other(box_.SlavePath());
  ASSERT_TRUE(other.Holding());
  plugin_.Call(26, 0);
  EXPECT_FALSE(Connected());
  EXPECT_EQ(Boxes(ctl::msg::kCannotOpenPort), 1);
  EXPECT_EQ(wsm::TheLog().boxes.size(), 1u);
  other.Release();
  Connect();
}

TEST_F(LinkIntegrationTest, ConnectDisconnectConnectRestartsTheDriftTerm) {
  SetTime(2460000.0);
  Connect();
  SetTime(2460000.25);  // a quarter of a day later
  Sky sky = Telescope();
  EXPECT_NEAR(sky.ra, Expected(0, 0, kPi / 2).ra, 1e-8);
  plugin_.Call(27, 0);
  EXPECT_FALSE(Connected());
  Connect();
  sky = Telescope();
  EXPECT_NEAR(sky.ra, kRefRA, 1e-12) << "no drift since the new connect";
  EXPECT_TRUE(wsm::TheLog().boxes.empty());
}

TEST_F(LinkIntegrationTest, ConnectWhileConnectedKeepsAWorkingPort) {
  Connect();
  Connect();
  EXPECT_TRUE(wsm::TheLog().boxes.empty());
  box_.SetCounts(10, 20);
  const Sky sky = Telescope();
  EXPECT_NEAR(sky.ra, Expected(10, 20).ra, 1e-12);
  // Disconnect frees the device: another program can have it.
  plugin_.Call(27, 0);
  const int fd = open(box_.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0) << "no handle was left open";
  close(fd);
}

TEST_F(LinkIntegrationTest, UnpluggingMidSessionReportsTheFailedSendAndGivesNoPosition) {
  Connect();
  EXPECT_TRUE(Telescope().filled);
  ASSERT_TRUE(box_.Unplug());
  std::vector<std::uint8_t> record(400, 0xCC);
  const auto before = record;
  plugin_.Call(21, record);
  EXPECT_EQ(record, before);
  ASSERT_EQ(wsm::TheLog().boxes.size(), 1u);
  EXPECT_EQ(wsm::TheLog().boxes[0].text, "Failed to send Q command.");
  EXPECT_EQ(wsm::TheLog().boxes[0].caption, "Write Comm Error");
  EXPECT_TRUE(Connected()) << "the plug-in never closes the port by itself";
}

}  // namespace
