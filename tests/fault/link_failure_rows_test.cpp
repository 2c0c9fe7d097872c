// Every failure of the serial connection and of the encoder query, made to
// happen through the fault-injecting serial backend: the box shown (text,
// caption, icon and modality, owner) and the state left behind.
#include <gtest/gtest.h>

#include <string>

#include "fake_platform.h"
#include "link/link.h"
#include "link/messages.h"
#include "platform/fault/fault_serial.h"
#include "plugin/position.h"
#include "pointing/pointing.h"
#include "sentinel_record.h"
#include "window_system_model.h"

namespace {

using plat::fault::Call;

constexpr std::uint32_t kErrorBox = 0x1010;          // OK, error icon, system-modal
constexpr std::uint32_t kWarningBox = 0x1030;        // OK, warning icon, system-modal
constexpr std::uint32_t kPlainWarningBox = 0x30;     // OK, warning icon
constexpr const char* kCounts = "+00090\t-00010\r";  // 90 and -10 counts

class LinkFailureRows : public ::testing::Test {
 protected:
  void SetUp() override {
    ctl::ResetState();
    wsm::Reset();
    plat::fault::Reset();
    plat::fault::SetAnswer('Q', kCounts);
    plat::fault::SetAnswer('P', "007\r");
    ctl::PluginState& s = ctl::State();
    s.settings.ResRA = s.settings.ResDec = 360;  // a count is a degree
    s.RadPerCountRA = s.RadPerCountDec = ctl::RadiansPerCount(360);
  }
  // Exactly one box, and it is this one.
  static void ExpectOneBox(const char* text, const char* caption, std::uint32_t style,
                           wsm::Handle owner) {
    ASSERT_EQ(wsm::TheLog().boxes.size(), 1u) << text;
    const wsm::MessageBoxCall& box = wsm::TheLog().boxes[0];
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.caption, caption);
    EXPECT_EQ(box.style, style) << text;
    EXPECT_EQ(box.owner, owner) << text;
  }
  static wsm::Handle Focus() { return wsm::TheBehaviour().focus; }
  static void Connected() {
    ctl::ConnectPort();
    ASSERT_EQ(ctl::State().connected, 1);
    wsm::Reset();
  }
  static bool Query(ctl::EncoderRecord& record) {
    return ctl::QueryEncoders(record, ctl::State().settings);
  }
};

// ---- Connecting and disconnecting ----------------------------------------------

TEST_F(LinkFailureRows, OpenFails) {
  ctl::PluginState& s = ctl::State();
  s.host_time.day_number = 42.0;
  plat::fault::Fail(Call::kOpen);
  ctl::ConnectPort();
  ExpectOneBox(ctl::msg::kCannotOpenPort, "Comm Error", kErrorBox, Focus());
  EXPECT_EQ(s.connected, 0);
  EXPECT_EQ(s.settings.port, plat::kInvalidHandle);
  EXPECT_EQ(s.connect_time.day_number, 42.0) << "taken before the port is touched";
  EXPECT_EQ(plat::fault::Calls(Call::kBuildLineSettings), 0);
}

// The three configuration failures leave the flag clear and the port open
// (a later disconnect or connect closes it).
TEST_F(LinkFailureRows, ConfigurationFailures) {
  struct Row {
    Call call;
    const char* text;
    std::uint32_t style;
    bool line_applied;
  } rows[] = {
      {Call::kBuildLineSettings, "Cannot build DCB.", kErrorBox, false},
      {Call::kSetLineSettings, "Cannot set comm parameters.", kErrorBox, false},
      {Call::kSetTimeouts, "Failed to set timeouts.", kWarningBox, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    SetUp();
    plat::fault::Fail(row.call);
    ctl::ConnectPort();
    ExpectOneBox(row.text, "ConfigPort", row.style, Focus());
    const ctl::PluginState& s = ctl::State();
    EXPECT_EQ(s.connected, 0);
    EXPECT_EQ(s.port_open, 1);
    EXPECT_TRUE(plat::fault::IsOpen(s.settings.port)) << "the port stays open";
    EXPECT_EQ(plat::fault::AppliedLine().out_x, row.line_applied);
    EXPECT_EQ(plat::fault::Calls(Call::kPurge), 0) << "configuration ended there";

    ctl::DisconnectPort();
    EXPECT_FALSE(plat::fault::IsOpen(s.settings.port));
    EXPECT_EQ(wsm::TheLog().boxes.size(), 1u);
  }
}

TEST_F(LinkFailureRows, ACompleteConnectAppliesTheLineAndTheTimeouts) {
  Connected();
  const plat::LineSettings line = plat::fault::AppliedLine();
  EXPECT_EQ(line.baud, 9600u);
  EXPECT_TRUE(line.out_x && line.in_x && line.dtr_enable && line.rts_enable);
  EXPECT_FALSE(line.outx_cts_flow || line.outx_dsr_flow);
  const plat::Timeouts t = plat::fault::AppliedTimeouts();
  EXPECT_EQ(t.read_interval, ctl::kLinkTimeouts.read_interval);
  EXPECT_EQ(t.read_total_multiplier, ctl::kLinkTimeouts.read_total_multiplier);
  EXPECT_EQ(t.read_total_constant, ctl::kLinkTimeouts.read_total_constant);
  EXPECT_EQ(t.write_total_multiplier, ctl::kLinkTimeouts.write_total_multiplier);
  EXPECT_EQ(t.write_total_constant, ctl::kLinkTimeouts.write_total_constant);
  // The documented bounds: 20 ms between bytes, 240 ms for "Q", 140 ms for "P".
  EXPECT_EQ(t.read_interval, 20u);
  EXPECT_EQ(ctl::ReadBound(14), 240u);
  EXPECT_EQ(ctl::ReadBound(4), 140u);
  EXPECT_EQ(t.write_total_multiplier * 1 + t.write_total_constant, 110u);
}

TEST_F(LinkFailureRows, CloseFailsAndALaterDisconnectSucceeds) {
  Connected();
  ctl::PluginState& s = ctl::State();
  const plat::Handle port = s.settings.port;
  plat::fault::Fail(Call::kClose);
  ctl::DisconnectPort();
  ExpectOneBox("Can't close port.", "Comm Error", kErrorBox, Focus());
  EXPECT_EQ(s.connected, 1) << "the port is taken to be still open";
  EXPECT_EQ(s.settings.port, port);
  EXPECT_TRUE(plat::fault::IsOpen(port));

  ctl::DisconnectPort();
  EXPECT_EQ(s.connected, 0);
  EXPECT_FALSE(plat::fault::IsOpen(port));
  EXPECT_EQ(wsm::TheLog().boxes.size(), 1u);
  ctl::ConnectPort();
  EXPECT_EQ(s.connected, 1);
}

TEST_F(LinkFailureRows, AConnectThatCannotCloseTheOpenPortLeavesItConnected) {
  Connected();
  ctl::PluginState& s = ctl::State();
  const plat::Handle port = s.settings.port;
  plat::fault::Fail(Call::kClose);
  ctl::ConnectPort();
  ExpectOneBox("Can't close port.", "Comm Error", kErrorBox, Focus());
  EXPECT_EQ(s.connected, 1);
  EXPECT_EQ(s.settings.port, port);
  EXPECT_EQ(plat::fault::Calls(Call::kOpen), 1) << "no second open over the live port";
}

// ---- One query ------------------------------------------------------------------

TEST_F(LinkFailureRows, QCannotBeSent) {
  Connected();
  ctl::State().link_failures = 3;
  plat::fault::Fail(Call::kTransmit);
  auto record = testsupport::SentinelRecord();
  EXPECT_FALSE(Query(record));
  ExpectOneBox("Failed to send Q command.", "Write Comm Error", kWarningBox, 0);
  EXPECT_EQ(ctl::State().link_failures, 4);
  EXPECT_EQ(record.angle1, 11.0);
  EXPECT_EQ(record.degrees1, 33.0);
  EXPECT_EQ(record.status, 555);
  EXPECT_EQ(plat::fault::Calls(Call::kRead), 0);
}

TEST_F(LinkFailureRows, TheQAnswerCannotBeRead) {
  Connected();
  plat::fault::Fail(Call::kRead);
  auto record = testsupport::SentinelRecord();
  EXPECT_FALSE(Query(record));
  ExpectOneBox("Can't read after sending Q command.", "Read Comm Error", kWarningBox, 0);
  EXPECT_EQ(ctl::State().link_failures, 1);
  EXPECT_EQ(record.angle2, 22.0);
  EXPECT_EQ(record.degrees2, 44.0);
  EXPECT_EQ(record.status, 555);
  EXPECT_EQ(plat::fault::Sent(), "Q") << "no P after a failed Q exchange";
}

// A port that stops on errors (Windows with fAbortOnError) refuses every send
// and read after one failure until the error is cleared: a failed read or
// send is followed by a good query, at each of the four exchanges.
TEST_F(LinkFailureRows, AFailedSendOrReadClearsThePortsErrorSoTheNextQuerySucceeds) {
  const struct {
    Call call;
    int nth;
  } rows[] = {{Call::kTransmit, 1}, {Call::kRead, 1}, {Call::kTransmit, 2}, {Call::kRead, 2}};
  for (const auto& row : rows) {
    SCOPED_TRACE(static_cast<int>(row.call) * 10 + row.nth);
    SetUp();
    Connected();
    plat::fault::LatchErrors(true);
    plat::fault::Fail(row.call, row.nth);
    auto record = testsupport::SentinelRecord();
    Query(record);
    EXPECT_EQ(plat::fault::Calls(Call::kClearErrors), 1);
    wsm::Reset();
    record = testsupport::SentinelRecord();
    EXPECT_TRUE(Query(record));
    EXPECT_TRUE(wsm::TheLog().boxes.empty()) << wsm::TheLog().boxes[0].text;
    EXPECT_EQ(record.degrees1, 90.0);
    EXPECT_EQ(record.status, 7);
    EXPECT_EQ(ctl::State().link_failures, 0);
  }
}

// The status exchange fails after the counts were converted: the angles are
// kept, the status word is not touched, and the box has the focus window.
TEST_F(LinkFailureRows, PCannotBeSentOrItsAnswerRead) {
  struct Row {
    Call call;
    const char* text;
    const char* caption;
  } rows[] = {
      {Call::kTransmit, "Failed to send P command.", "Write Comm Error"},
      {Call::kRead, "Can't read after sending P command.", "Read Comm Error"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    SetUp();
    Connected();
    plat::fault::Fail(row.call, 2);
    auto record = testsupport::SentinelRecord();
    Query(record);
    ExpectOneBox(row.text, row.caption, kWarningBox, Focus());
    EXPECT_EQ(record.degrees1, 90.0);
    EXPECT_EQ(record.degrees2, -10.0);
    double a = ctl::State().settings.RefRA + ctl::kHalfPi;
    double b = ctl::State().settings.RefDec - 10.0 * ctl::RadiansPerCount(360);
    ctl::NormaliseAngles(a, b);
    EXPECT_EQ(record.angle1, a);
    EXPECT_EQ(record.angle2, b);
    EXPECT_EQ(record.status, 555) << "status word untouched";
    EXPECT_EQ(ctl::State().link_failures, 1) << "reset by the counts, raised by the status";
  }
}

TEST_F(LinkFailureRows, AShortStatusAnswerReads2989AndCounts) {
  Connected();
  plat::fault::SetAnswer('P', "12\r");
  auto record = testsupport::SentinelRecord();
  EXPECT_TRUE(Query(record));
  EXPECT_EQ(record.status, 2989);
  EXPECT_EQ(ctl::State().link_failures, 1);
  EXPECT_TRUE(wsm::TheLog().boxes.empty()) << "a short answer has no box of its own";
}

TEST_F(LinkFailureRows, ACountsAnswerCutShortCountsAsAFailureWithoutABox) {
  Connected();
  ctl::State().settings.PCode = 0;
  plat::fault::ShortRead(1, 13);
  ctl::EncoderRecord record;
  Query(record);
  EXPECT_EQ(ctl::State().link_failures, 1);
  EXPECT_TRUE(wsm::TheLog().boxes.empty());
}

// Failed sends and reads never warn by themselves; the first query that runs
// to its end past twenty failures does, once, with its own box.
TEST_F(LinkFailureRows, TheWarningComesWithTheFirstCompleteQueryPastTwenty) {
  Connected();
  ctl::State().settings.PCode = 0;
  plat::fault::Fail(Call::kTransmit, 1, 10);
  plat::fault::Fail(Call::kRead, 1, 11);
  ctl::EncoderRecord record;
  for (int i = 0; i < 21; ++i) Query(record);
  EXPECT_EQ(ctl::State().link_failures, 21);
  EXPECT_EQ(wsm::TheLog().boxes.size(), 21u);
  wsm::Reset();
  plat::fault::ShortRead(1, 0);
  Query(record);
  ExpectOneBox("Close serial port and check connections.", "Communication Error", kPlainWarningBox,
               0);
  EXPECT_EQ(ctl::State().link_failures, 0);
}

TEST_F(LinkFailureRows, AFailedPurgeDoesNotStopTheQuery) {
  Connected();
  plat::fault::Fail(Call::kPurge);
  auto record = testsupport::SentinelRecord();
  EXPECT_TRUE(Query(record));
  EXPECT_EQ(record.degrees1, 90.0);
  EXPECT_EQ(record.status, 7);
  EXPECT_TRUE(wsm::TheLog().boxes.empty());
}

// The backend's reads keep the real port's rules: nothing to read into is
// fine for a read of nothing, and refused for a read of something.
TEST_F(LinkFailureRows, TheBackendReadsNothingIntoNowhereButNotSomething) {
  const plat::Handle port = plat::SerialOpen("COM1");
  ASSERT_NE(port, plat::kInvalidHandle);
  plat::fault::Arrive("abc");
  std::uint32_t count = 99;
  EXPECT_TRUE(plat::SerialRead(port, nullptr, 0, &count));
  EXPECT_EQ(count, 0u);
  count = 99;
  EXPECT_FALSE(plat::SerialRead(port, nullptr, 3, &count));
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(plat::fault::Waiting(), "abc");
}

// The backend itself answers a purge as a port does (the link never reads
// the answer): true on the open port, false when failed on request or on a
// closed handle, and a purge of what came in empties the line.
TEST_F(LinkFailureRows, TheBackendsPurgeAnswersAsAPortDoes) {
  const plat::Handle port = plat::SerialOpen("COM1");
  ASSERT_NE(port, plat::kInvalidHandle);
  plat::fault::Arrive("late");
  EXPECT_TRUE(plat::SerialPurge(port, plat::kPurgeTxClear));
  EXPECT_EQ(plat::fault::Waiting(), "late");
  EXPECT_TRUE(plat::SerialPurge(port, plat::kPurgeRxClear));
  EXPECT_EQ(plat::fault::Waiting(), "");
  plat::fault::Fail(Call::kPurge, 1, 0);  // no times: nothing fails
  EXPECT_TRUE(plat::SerialPurge(port, plat::kPurgeRxClear));
  plat::fault::Fail(Call::kPurge);
  EXPECT_FALSE(plat::SerialPurge(port, plat::kPurgeRxClear));
  EXPECT_TRUE(plat::SerialPurge(port, plat::kPurgeRxClear)) << "one time only";
  EXPECT_TRUE(plat::SerialClose(port));
  EXPECT_FALSE(plat::SerialPurge(port, plat::kPurgeRxClear));
}

}  // namespace
