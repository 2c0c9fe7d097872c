// One query of the box, over a real pseudo-terminal: the simulated box, and
// for answers the simulated box never gives, a scripted peer that answers
// "Q" and "P" with exactly the bytes a test names.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "dsc_sim.h"
#include "fake_platform.h"
#include "link/link.h"
#include "plugin/position.h"
#include "pointing/pointing.h"
#include "sentinel_record.h"
#include "temp_config.h"
#include "window_system_model.h"

namespace {

// A peer on a pseudo-terminal that answers each "Q" and "P" with the bytes
// set for it, or hangs up (closes the master side) when one arrives.
class ScriptedBox {
 public:
  ScriptedBox() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    path_ = ptsname(master_);
    keep_ = open(path_.c_str(), O_RDWR | O_NOCTTY);
    termios tio{};
    if (keep_ >= 0 && tcgetattr(keep_, &tio) == 0) {
      cfmakeraw(&tio);
      tcsetattr(keep_, TCSANOW, &tio);
    }
    thread_ = std::thread([this] { Run(); });
  }
  ~ScriptedBox() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (master_ >= 0) close(master_);
    if (keep_ >= 0) close(keep_);
  }
  const std::string& Path() const { return path_; }
  void AnswerQ(const std::string& bytes) {
    std::lock_guard lock(mutex_);
    q_ = bytes;
  }
  void AnswerP(const std::string& bytes) {
    std::lock_guard lock(mutex_);
    p_ = bytes;
  }
  void HangUpOn(char command) { hang_up_on_ = command; }

 private:
  void Run() {
    while (!stop_) {
      pollfd pfd{master_, POLLIN, 0};
      if (poll(&pfd, 1, 20) <= 0) continue;
      char c = 0;
      if (read(master_, &c, 1) != 1) continue;
      if (c != 'Q' && c != 'P') continue;
      if (c == hang_up_on_) {
        close(master_);
        master_ = -1;
        return;
      }
      std::string answer;
      {
        std::lock_guard lock(mutex_);
        answer = c == 'Q' ? q_ : p_;
      }
      if (!answer.empty()) (void)!write(master_, answer.data(), answer.size());
    }
  }

  int master_ = -1;
  int keep_ = -1;
  std::string path_;
  std::mutex mutex_;
  std::string q_ = "+00000\t+00000\r";
  std::string p_ = "000\r";
  std::atomic<char> hang_up_on_{0};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

class QueryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ctl::ResetState();
    wsm::Reset();
    // 360 counts a turn: the encoder degrees of a count are the count itself.
    ctl::PluginState& s = ctl::State();
    s.settings.ResRA = 360;
    s.settings.ResDec = 360;
    s.RadPerCountRA = ctl::RadiansPerCount(360);
    s.RadPerCountDec = ctl::RadiansPerCount(360);
    std::string error;
    ASSERT_TRUE(box_.Start(&error)) << error;
  }
  void TearDown() override {
    if (ctl::State().port_open != 0) ctl::DisconnectPort();
    box_.Stop();
  }
  void ConnectTo(const std::string& device) {
    config_.LinkPort("COM1", device);
    ctl::ConnectPort();
    ASSERT_EQ(ctl::State().connected, 1);
    wsm::Reset();
  }
  bool Query(ctl::EncoderRecord& record) {
    return ctl::QueryEncoders(record, ctl::State().settings);
  }
  static int Boxes(const std::string& text) {
    int n = 0;
    for (const auto& b : wsm::TheLog().boxes) n += b.text == text ? 1 : 0;
    return n;
  }

  testsupport::TempConfigDir config_;
  dscsim::Box box_;
};

// ---- The counts answer ------------------------------------------------------

TEST_F(QueryTest, WorkedAnswerGivesBothCountsAndClearsTheFailureCount) {
  ConnectTo(box_.SlavePath());
  ctl::State().settings.PCode = 0;
  ctl::State().link_failures = 7;
  box_.SetCounts(1234, -567);
  auto record = testsupport::SentinelRecord();
  ASSERT_TRUE(Query(record));
  EXPECT_EQ(record.degrees1, 1234.0);
  EXPECT_EQ(record.degrees2, -567.0);
  EXPECT_EQ(ctl::State().link_failures, 0);
  double a = 1234 * ctl::RadiansPerCount(360) + ctl::State().settings.RefRA;
  double b = -567 * ctl::RadiansPerCount(360) + ctl::State().settings.RefDec;
  ctl::NormaliseAngles(a, b);
  EXPECT_EQ(record.angle1, a);
  EXPECT_EQ(record.angle2, b);
  EXPECT_TRUE(wsm::TheLog().boxes.empty());
  EXPECT_EQ(box_.GetStats().q_received, 1u);
}

TEST_F(QueryTest, ALeadingJunkByteIsSkippedByTheSignSearch) {
  ScriptedBox peer;
  peer.AnswerQ("X+01234\t-00567");
  ConnectTo(peer.Path());
  ctl::State().settings.PCode = 0;
  auto record = testsupport::SentinelRecord();
  ASSERT_TRUE(Query(record));
  EXPECT_EQ(record.degrees1, 1234.0);
  EXPECT_EQ(record.degrees2, -567.0);
  EXPECT_EQ(ctl::State().link_failures, 0);
}

TEST_F(QueryTest, ThirteenBytesGiveCountsOfZeroAndTheConversionStillRuns) {
  ConnectTo(box_.SlavePath());
  ctl::State().settings.PCode = 0;
  box_.SetCounts(1234, -567);
  box_.SetShortAnswer(13);
  ctl::State().link_failures = 3;
  auto record = testsupport::SentinelRecord();
  ASSERT_TRUE(Query(record));
  EXPECT_EQ(record.degrees1, 0.0);
  EXPECT_EQ(record.degrees2, 0.0);
  double a = ctl::State().settings.RefRA, b = ctl::State().settings.RefDec;
  ctl::NormaliseAngles(a, b);
  EXPECT_EQ(record.angle1, a) << "counts of 0 are the reference point";
  EXPECT_EQ(record.angle2, b);
  EXPECT_EQ(record.status, 255);
  EXPECT_EQ(ctl::State().link_failures, 4);
  EXPECT_TRUE(wsm::TheLog().boxes.empty()) << "a short answer has no message of its own";
}

TEST_F(QueryTest, AnswersWithoutSignsGiveCountsOfZeroAndCountAsFailures) {
  ConnectTo(box_.SlavePath());
  ctl::State().settings.PCode = 0;
  box_.SetCounts(1234, -567);
  box_.SetNoSigns(true);
  auto record = testsupport::SentinelRecord();
  ASSERT_TRUE(Query(record));
  EXPECT_EQ(record.degrees1, 0.0);
  EXPECT_EQ(record.degrees2, 0.0);
  EXPECT_EQ(ctl::State().link_failures, 1) << "fourteen bytes, but no counts in them";
  // A box that never answers with counts (at another baud rate, say) is
  // warned about like a silent one.
  for (int i = 2; i <= 21; ++i) ASSERT_TRUE(Query(record));
  ASSERT_EQ(wsm::TheLog().boxes.size(), 1u);
  EXPECT_EQ(wsm::TheLog().boxes[0].text, "Close serial port and check connections.");
}

// Answers the box never gives: the search and the copy stay within the
// fourteen bytes received, and a missing field reads 0.  Only an answer with
// both signed fields clears the failure count.
TEST_F(QueryTest, SignSearchAndCopyStayWithinTheAnswer) {
  ScriptedBox peer;
  ConnectTo(peer.Path());
  ctl::State().settings.PCode = 0;
  struct Case {
    const char* answer;
    double first, second;
    bool both_fields;
  } cases[] = {
      {"ABCDEFGHIJKLMN", 0.0, 0.0, false},   // no sign at all
      {"AAAAAAAAAAA+12", 12.0, 0.0, false},  // a late sign: the field is what came
      {"+01234AAAAAAA+", 1234.0, 0.0, true},
      {"+00001+00002+0", 1.0, 2.0, true},
      {"+01234AAAAAAAA", 1234.0, 0.0, false},
      {"+1.5  \t-2.25 \r", 1.5, -2.25, true},
      {"+19:34\t-1.09X\r", 19.0, -1.09, true},  // a field ends at its first other character
      {"-99999-99999-9", -99999.0 + 360.0, -99999.0, true},  // the first axis wraps once
  };
  for (const Case& c : cases) {
    peer.AnswerQ(c.answer);
    auto record = testsupport::SentinelRecord();
    ASSERT_TRUE(Query(record)) << c.answer;
    EXPECT_EQ(record.degrees1, c.first) << c.answer;
    EXPECT_EQ(record.degrees2, c.second) << c.answer;
    EXPECT_EQ(ctl::State().link_failures == 0, c.both_fields) << c.answer;
  }
}

TEST_F(QueryTest, GarbageAnswersNeverReadPastTheBuffer) {
  ConnectTo(box_.SlavePath());
  box_.SetGarbage(true);
  for (int i = 0; i < 10; ++i) {
    auto record = testsupport::SentinelRecord();
    EXPECT_TRUE(Query(record));
    EXPECT_TRUE(std::isfinite(record.angle1));
    EXPECT_TRUE(std::isfinite(record.angle2));
  }
}

// ---- The status answer --------------------------------------------------------

TEST_F(QueryTest, StatusOffSendsNoPAndReads255) {
  ConnectTo(box_.SlavePath());
  ctl::State().settings.PCode = 0;
  auto record = testsupport::SentinelRecord();
  ASSERT_TRUE(Query(record));
  EXPECT_EQ(record.status, 255);
  EXPECT_EQ(box_.GetStats().p_received, 0u);
}

TEST_F(QueryTest, StatusOnReadsTheNumberTheBoxSends) {
  ConnectTo(box_.SlavePath());
  ASSERT_EQ(ctl::State().settings.PCode, 1);
  box_.SetStatus(42);
  auto record = testsupport::SentinelRecord();
  ASSERT_TRUE(Query(record));
  EXPECT_EQ(record.status, 42);
  EXPECT_EQ(box_.GetStats().p_received, 1u);

  ASSERT_TRUE(box_.SetStatusBytes("-12\r"));
  ASSERT_TRUE(Query(record));
  EXPECT_EQ(record.status, -12);
  // Leading blanks of every kind, from tab to carriage return.
  for (const char* bytes : {" 7\r\n", "\t\t7\r", "\r\v7\r", "\f\n7\r"}) {
    ASSERT_TRUE(box_.SetStatusBytes(bytes));
    ASSERT_TRUE(Query(record));
    EXPECT_EQ(record.status, 7) << bytes;
  }
}

TEST_F(QueryTest, AStatusBeginningWithALetterReadsZero) {
  ConnectTo(box_.SlavePath());
  ASSERT_TRUE(box_.SetStatusBytes("A123"));
  auto record = testsupport::SentinelRecord();
  ASSERT_TRUE(Query(record));
  EXPECT_EQ(record.status, 0);
}

TEST_F(QueryTest, FourDigitsRunOnIntoTheCountsAnswerAndAreCutTo16Bits) {
  ConnectTo(box_.SlavePath());
  box_.SetCounts(1234, -567);  // "+01234\t-00567\r": bytes 4 on are "34\t..."
  ASSERT_TRUE(box_.SetStatusBytes("9999"));
  auto record = testsupport::SentinelRecord();
  ASSERT_TRUE(Query(record));
  EXPECT_EQ(record.status, static_cast<std::int16_t>(999934 & 0xFFFF));
}

TEST_F(QueryTest, AThreeByteStatusAnswerReads2989AndCounts) {
  ScriptedBox peer;
  peer.AnswerP("12\r");
  ConnectTo(peer.Path());
  auto record = testsupport::SentinelRecord();
  ASSERT_TRUE(Query(record));
  EXPECT_EQ(record.status, 2989);
  EXPECT_EQ(ctl::State().link_failures, 1) << "reset by the counts, raised by the status";
}

TEST_F(QueryTest, AGoodStatusAnswerDoesNotClearAShortCountsAnswer) {
  ScriptedBox peer;
  peer.AnswerQ("+0123");
  ConnectTo(peer.Path());
  ctl::State().link_failures = 5;
  auto record = testsupport::SentinelRecord();
  ASSERT_TRUE(Query(record));
  EXPECT_EQ(record.degrees1, 0.0);
  EXPECT_EQ(record.status, 0);
  EXPECT_EQ(ctl::State().link_failures, 6) << "the status came, the counts did not";
}

TEST_F(QueryTest, ShortAnswersToBothCountTwice) {
  ConnectTo(box_.SlavePath());
  box_.SetShortAnswer(3);
  auto record = testsupport::SentinelRecord();
  ASSERT_TRUE(Query(record));
  EXPECT_EQ(record.degrees1, 0.0);
  EXPECT_EQ(record.status, 2989);
  EXPECT_EQ(ctl::State().link_failures, 2);
}

// ---- The failure count and its warning -----------------------------------------

TEST_F(QueryTest, TwentyOneShortAnswersWarnOnceAtTheEndOfTheLast) {
  ConnectTo(box_.SlavePath());
  ctl::State().settings.PCode = 0;
  box_.SetShortAnswer(13);
  ctl::EncoderRecord record;
  for (int i = 1; i <= 20; ++i) {
    ASSERT_TRUE(Query(record));
    ASSERT_EQ(ctl::State().link_failures, i);
  }
  EXPECT_TRUE(wsm::TheLog().boxes.empty());
  ASSERT_TRUE(Query(record));
  ASSERT_EQ(wsm::TheLog().boxes.size(), 1u);
  const auto& warning = wsm::TheLog().boxes[0];
  EXPECT_EQ(warning.text, "Close serial port and check connections.");
  EXPECT_EQ(warning.caption, "Communication Error");
  EXPECT_EQ(warning.style, 0x30u) << "OK, warning icon, not system-modal";
  EXPECT_EQ(warning.owner, 0u);
  EXPECT_EQ(ctl::State().link_failures, 0);
  ASSERT_TRUE(Query(record));
  EXPECT_EQ(ctl::State().link_failures, 1);
  EXPECT_EQ(wsm::TheLog().boxes.size(), 1u);
}

TEST_F(QueryTest, FailedSendsOfQBoxEachTimeAndTheWarningWaitsForACompleteQuery) {
  ConnectTo(box_.SlavePath());
  ctl::State().settings.PCode = 0;
  ASSERT_TRUE(box_.Unplug());
  for (int i = 1; i <= 20; ++i) {
    auto record = testsupport::SentinelRecord();
    ASSERT_FALSE(Query(record));
    const auto untouched = testsupport::SentinelRecord();
    EXPECT_EQ(record.angle1, untouched.angle1);
    EXPECT_EQ(record.degrees1, untouched.degrees1);
    EXPECT_EQ(record.status, untouched.status);
  }
  EXPECT_EQ(ctl::State().link_failures, 20);
  ASSERT_EQ(Boxes("Failed to send Q command."), 20);
  EXPECT_EQ(wsm::TheLog().boxes.size(), 20u);
  const auto& box = wsm::TheLog().boxes[0];
  EXPECT_EQ(box.caption, "Write Comm Error");
  EXPECT_EQ(box.style, 0x1030u);
  EXPECT_EQ(box.owner, 0u);

  // Cable back in, port opened anew: a short answer completes the query.
  std::string error;
  ASSERT_TRUE(box_.Replug(&error)) << error;
  box_.SetShortAnswer(13);
  ConnectTo(box_.SlavePath());
  ctl::EncoderRecord record;
  ASSERT_TRUE(Query(record));
  EXPECT_EQ(Boxes("Close serial port and check connections."), 1);
  EXPECT_EQ(ctl::State().link_failures, 0);
}

TEST_F(QueryTest, TheFailureCountStopsAtItsLargestValueInsteadOfWrapping) {
  ConnectTo(box_.SlavePath());
  ctl::State().settings.PCode = 0;
  ctl::State().link_failures = INT16_MAX - 1;
  ASSERT_TRUE(box_.Unplug());
  ctl::EncoderRecord record;
  EXPECT_FALSE(Query(record));
  EXPECT_FALSE(Query(record));
  EXPECT_EQ(ctl::State().link_failures, INT16_MAX) << "a wrap to negative would mute the warning";
}

TEST_F(QueryTest, AFailedReadOfTheCountsLeavesTheRecordUntouched) {
  ScriptedBox peer;
  peer.HangUpOn('Q');
  ConnectTo(peer.Path());
  auto record = testsupport::SentinelRecord();
  EXPECT_FALSE(Query(record));
  EXPECT_EQ(record.angle1, 11.0);
  EXPECT_EQ(record.angle2, 22.0);
  EXPECT_EQ(record.degrees1, 33.0);
  EXPECT_EQ(record.degrees2, 44.0);
  EXPECT_EQ(record.status, 555);
  EXPECT_EQ(ctl::State().link_failures, 1);
  ASSERT_EQ(wsm::TheLog().boxes.size(), 1u);
  const auto& box = wsm::TheLog().boxes[0];
  EXPECT_EQ(box.text, "Can't read after sending Q command.");
  EXPECT_EQ(box.caption, "Read Comm Error");
  EXPECT_EQ(box.style, 0x1030u);
  EXPECT_EQ(box.owner, 0u);
}

TEST_F(QueryTest, AFailedReadOfTheStatusKeepsTheConvertedCounts) {
  ScriptedBox peer;
  peer.AnswerQ("+00090\t-00010\r");
  peer.HangUpOn('P');
  ConnectTo(peer.Path());
  auto record = testsupport::SentinelRecord();
  EXPECT_TRUE(Query(record));
  EXPECT_EQ(record.degrees1, 90.0);
  EXPECT_EQ(record.degrees2, -10.0);
  EXPECT_EQ(record.status, 555) << "status word untouched";
  EXPECT_EQ(ctl::State().link_failures, 1);
  ASSERT_EQ(wsm::TheLog().boxes.size(), 1u);
  const auto& box = wsm::TheLog().boxes[0];
  EXPECT_EQ(box.text, "Can't read after sending P command.");
  EXPECT_EQ(box.caption, "Read Comm Error");
  EXPECT_EQ(box.style, 0x1030u);
  EXPECT_EQ(box.owner, wsm::TheBehaviour().focus);
}

TEST_F(QueryTest, ALateAnswerToAnEarlierQueryNeverReachesTheNext) {
  ConnectTo(box_.SlavePath());
  ctl::State().settings.PCode = 0;
  box_.SetCounts(100, 200);
  box_.SetAnswerDelay(300);  // later than the read waits
  ctl::EncoderRecord record;
  ASSERT_TRUE(Query(record));
  EXPECT_EQ(record.degrees1, 0.0);
  box_.SetAnswerDelay(0);
  box_.SetCounts(7, 8);
  // Let the late answer arrive, then query again: it is purged away.
  ASSERT_TRUE(box_.WaitFor([](const dscsim::Stats& s) { return s.q_answered >= 1; },
                           std::chrono::milliseconds(2000)));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // through the terminal
  ASSERT_TRUE(Query(record));
  EXPECT_EQ(record.degrees1, 7.0);
  EXPECT_EQ(record.degrees2, 8.0);
}

}  // namespace
