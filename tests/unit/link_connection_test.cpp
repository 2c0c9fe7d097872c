// Opening, configuring and closing the serial port, over a real
// pseudo-terminal with the simulated box.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "astro_vl.h"
#include "dsc_sim.h"
#include "link/link.h"
#include "link/messages.h"
#include "plugin/position.h"
#include "pointing/pointing.h"
#include "port_holder.h"
#include "temp_config.h"
#include "window_system_model.h"

namespace {

class ConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ctl::ResetState();
    wsm::Reset();
    std::string error;
    ASSERT_TRUE(box_.Start(&error)) << error;
    config_.LinkPort("COM1", box_.SlavePath());
  }
  void TearDown() override {
    if (ctl::State().port_open != 0) ctl::DisconnectPort();
    box_.Stop();
  }
  static bool PortWorks(plat::Handle port) { return plat::SerialPurge(port, plat::kPurgeRxClear); }

  testsupport::TempConfigDir config_;
  dscsim::Box box_;
};

TEST_F(ConnectionTest, ConnectOpensAndConfiguresThePort) {
  ctl::ConnectPort();
  const ctl::PluginState& s = ctl::State();
  EXPECT_EQ(s.connected, 1);
  EXPECT_EQ(s.port_open, 1);
  EXPECT_TRUE(PortWorks(s.settings.port));
  EXPECT_TRUE(wsm::TheLog().boxes.empty());

  // The line as another descriptor of the same terminal sees it.
  const int fd = open(box_.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) GTEST_SKIP() << "the terminal is held exclusively";
  termios tio{};
  ASSERT_EQ(tcgetattr(fd, &tio), 0);
  EXPECT_EQ(cfgetospeed(&tio), B9600);
  EXPECT_EQ(cfgetispeed(&tio), B9600);
  EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_NE(tio.c_iflag & IXON, 0u);
  EXPECT_NE(tio.c_iflag & IXOFF, 0u);
  EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u);
  close(fd);
}

TEST_F(ConnectionTest, NothingReceivedBeforeTheConnectIsLeftInTheInputQueue) {
  // Something else asks the box before the plug-in connects; its answer
  // waits in the terminal's input queue.
  const int fd = open(box_.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  termios tio{};
  ASSERT_EQ(tcgetattr(fd, &tio), 0);
  cfmakeraw(&tio);
  ASSERT_EQ(tcsetattr(fd, TCSANOW, &tio), 0);
  ASSERT_EQ(write(fd, "Q", 1), 1);
  ASSERT_TRUE(box_.WaitFor([](const dscsim::Stats& s) { return s.q_answered == 1; },
                           std::chrono::milliseconds(2000)));
  // The terminal passes the bytes on a moment after the box wrote them.
  int waiting = 0;
  for (int i = 0; i < 100 && waiting < 14; ++i) {
    ASSERT_EQ(ioctl(fd, FIONREAD, &waiting), 0);
    if (waiting < 14) usleep(2000);
  }
  ASSERT_EQ(waiting, 14);
  ctl::ConnectPort();
  ASSERT_EQ(ctl::State().connected, 1);
  ASSERT_EQ(ioctl(fd, FIONREAD, &waiting), 0);
  EXPECT_EQ(waiting, 0);
  close(fd);
}

TEST_F(ConnectionTest, ConnectTakesTheHostTimeAndTheHorizonReferencePoint) {
  astro::vl::ClearContexts();
  astro::vl::SetContext(77, astro::vl::kDefaultSite, 2460000.5);
  ctl::PluginState& s = ctl::State();
  s.host_context = 77;
  s.host_time.day_number = 2460000.5;
  s.host_time.carried[3] = 0x5A;
  ctl::ConnectPort();
  EXPECT_EQ(s.connect_time.day_number, 2460000.5);
  EXPECT_EQ(s.connect_time.carried[3], 0x5A);
  const auto expected = ctl::EquatorialToHorizon(77, s.settings.RefRA, s.settings.RefDec);
  EXPECT_EQ(s.settings.HorizonAz, expected.longitude);
  EXPECT_EQ(s.settings.HorizonAlt, expected.latitude);
  astro::vl::ClearContexts();
}

TEST_F(ConnectionTest, APortThatDoesNotExistGivesOneBoxAndLeavesTheFlagClear) {
  config_.LinkPort("COM4", "/nonexistent/tty");
  std::strcpy(ctl::State().settings.CommPort, "COM4");
  ctl::State().host_time.day_number = 5.0;
  ctl::ConnectPort();
  const ctl::PluginState& s = ctl::State();
  EXPECT_EQ(s.connected, 0);
  EXPECT_EQ(s.port_open, 0);
  EXPECT_EQ(s.settings.port, plat::kInvalidHandle);
  EXPECT_EQ(s.connect_time.day_number, 5.0) << "taken before the port is touched";
  ASSERT_EQ(wsm::TheLog().boxes.size(), 1u);
  const auto& box = wsm::TheLog().boxes[0];
  EXPECT_EQ(box.text, ctl::msg::kCannotOpenPort);
  EXPECT_EQ(box.caption, "Comm Error");
  EXPECT_EQ(box.style, 0x1010u);
  EXPECT_EQ(box.owner, wsm::TheBehaviour().focus);

  // A later connect to a port that exists works without a disconnect.
  std::strcpy(ctl::State().settings.CommPort, "COM1");
  ctl::ConnectPort();
  EXPECT_EQ(s.connected, 1);
  EXPECT_EQ(wsm::TheLog().boxes.size(), 1u);
}

TEST_F(ConnectionTest, APortHeldOpenByAnotherProcessCannotBeOpened) {
  testsupport::PortHolder other(box_.SlavePath());
  ASSERT_TRUE(other.Holding());
  ctl::ConnectPort();
  EXPECT_EQ(ctl::State().connected, 0);
  ASSERT_EQ(wsm::TheLog().boxes.size(), 1u);
  EXPECT_EQ(wsm::TheLog().boxes[0].text, ctl::msg::kCannotOpenPort);
  other.Release();

  // Once the other process has let go, the port opens.
  ctl::ConnectPort();
  EXPECT_EQ(ctl::State().connected, 1);
}

TEST_F(ConnectionTest, ConnectWhileConnectedClosesTheOpenPortFirst) {
  ctl::ConnectPort();
  ASSERT_EQ(ctl::State().connected, 1);
  const plat::Handle first = ctl::State().settings.port;
  ctl::ConnectPort();
  const ctl::PluginState& s = ctl::State();
  EXPECT_EQ(s.connected, 1);
  EXPECT_EQ(s.port_open, 1);
  EXPECT_NE(s.settings.port, first);
  EXPECT_FALSE(PortWorks(first)) << "the earlier handle was closed, not lost";
  EXPECT_TRUE(PortWorks(s.settings.port));
  EXPECT_TRUE(wsm::TheLog().boxes.empty());
}

TEST_F(ConnectionTest, ConnectAfterAFailedConfigurationClosesTheLeftOpenPort) {
  // What a failed configuration leaves: the flag clear, the port open.
  const plat::Handle left = plat::SerialOpen("COM1");
  ASSERT_NE(left, plat::kInvalidHandle);
  ctl::PluginState& s = ctl::State();
  s.settings.port = left;
  s.port_open = 1;
  s.connected = 0;
  ctl::ConnectPort();
  EXPECT_EQ(s.connected, 1);
  EXPECT_FALSE(PortWorks(left));
  EXPECT_TRUE(PortWorks(s.settings.port));
  EXPECT_TRUE(wsm::TheLog().boxes.empty());
}

TEST_F(ConnectionTest, DisconnectClosesThePortAndKeepsTheHandleValue) {
  ctl::ConnectPort();
  const plat::Handle port = ctl::State().settings.port;
  ctl::DisconnectPort();
  const ctl::PluginState& s = ctl::State();
  EXPECT_EQ(s.connected, 0);
  EXPECT_EQ(s.port_open, 0);
  EXPECT_EQ(s.settings.port, port);
  EXPECT_FALSE(PortWorks(port));
  EXPECT_TRUE(wsm::TheLog().boxes.empty());
  // The device is free again for anyone.
  const plat::Handle again = plat::SerialOpen("COM1");
  EXPECT_NE(again, plat::kInvalidHandle);
  plat::SerialClose(again);
}

TEST_F(ConnectionTest, DisconnectWithNothingOpenJustClearsTheFlag) {
  ctl::DisconnectPort();
  EXPECT_EQ(ctl::State().connected, 0);
  ctl::ConnectPort();
  ctl::DisconnectPort();
  ctl::DisconnectPort();
  EXPECT_EQ(ctl::State().connected, 0);
  EXPECT_TRUE(wsm::TheLog().boxes.empty());
}

TEST_F(ConnectionTest, ConnectDisconnectConnectRestartsTheDriftTerm) {
  ctl::PluginState& s = ctl::State();
  s.settings.PCode = 0;
  s.host_time.day_number = 1000.0;
  ctl::ConnectPort();
  s.host_time.day_number = 1000.25;
  ctl::EncoderRecord record;
  ASSERT_TRUE(ctl::QueryEncoders(record, s.settings));
  EXPECT_NEAR(record.angle1, s.settings.RefRA + ctl::kHalfPi, 1e-9);
  ctl::DisconnectPort();
  ctl::ConnectPort();
  ASSERT_EQ(s.connected, 1);
  EXPECT_EQ(s.connect_time.day_number, 1000.25);
  ASSERT_TRUE(ctl::QueryEncoders(record, s.settings));
  EXPECT_EQ(record.angle1, s.settings.RefRA);
}

TEST_F(ConnectionTest, ConfiguringAPortThatIsNotOpenFailsWithItsBox) {
  EXPECT_FALSE(ctl::ConfigurePort(plat::kInvalidHandle));
  ASSERT_EQ(wsm::TheLog().boxes.size(), 1u);
  const auto& box = wsm::TheLog().boxes[0];
  EXPECT_EQ(box.text, "Cannot set comm parameters.");
  EXPECT_EQ(box.caption, "ConfigPort");
  EXPECT_EQ(box.style, 0x1010u);
  EXPECT_EQ(box.owner, wsm::TheBehaviour().focus);
}

}  // namespace
