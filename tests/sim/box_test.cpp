// The simulated box, seen from the slave side of its pseudo-terminal.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "dsc_sim.h"
#include "slave_port.h"

namespace {

using simtest::Clock;
using simtest::MillisecondsSince;
using simtest::SlavePort;
using namespace std::chrono_literals;

class BoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(box_.Start(&error)) << error;
    port_ = std::make_unique<SlavePort>(box_.SlavePath());
    ASSERT_TRUE(port_->ok()) << box_.SlavePath();
  }

  dscsim::Box box_;
  std::unique_ptr<SlavePort> port_;
};

TEST(FormatTest, CountsAnswerLayout) {
  EXPECT_EQ(dscsim::FormatCounts(1234, -567), "+01234\t-00567\r");
  EXPECT_EQ(dscsim::FormatCounts(0, 0), "+00000\t+00000\r");
  EXPECT_EQ(dscsim::FormatCounts(123456, -200000), "+99999\t-99999\r");
  EXPECT_EQ(dscsim::FormatCounts(-1, 42, false), " 00001\t 00042\r");
}

TEST(FormatTest, StatusIsFourBytes) {
  EXPECT_EQ(dscsim::FormatStatus(0), "000\r");
  EXPECT_EQ(dscsim::FormatStatus(7), "007\r");
  EXPECT_EQ(dscsim::FormatStatus(999), "999\r");
  EXPECT_EQ(dscsim::FormatStatus(1234), "1234");
  EXPECT_EQ(dscsim::FormatStatus(-5), "-05\r");
  EXPECT_EQ(dscsim::FormatStatus(123456), "1234");
}

TEST_F(BoxTest, SlaveIsAPseudoTerminal) {
  EXPECT_EQ(box_.SlavePath().rfind("/dev/pts/", 0), 0u) << box_.SlavePath();
  EXPECT_TRUE(box_.running());
  EXPECT_TRUE(box_.plugged());
}

TEST_F(BoxTest, AnswersQWithTheCountsByteForByte) {
  box_.SetCounts(1234, -567);
  const std::string answer = port_->Ask("Q", 14);
  ASSERT_EQ(answer.size(), 14u);
  const unsigned char expected[14] = {'+', '0', '1', '2', '3', '4', 0x09,
                                      '-', '0', '0', '5', '6', '7', 0x0D};
  for (int i = 0; i < 14; ++i) {
    EXPECT_EQ(static_cast<unsigned char>(answer[i]), expected[i]) << "byte " << i;
  }
  // Nothing follows the answer.
  EXPECT_EQ(port_->Read(1, 60), "");
}

TEST_F(BoxTest, CountsAreClampedToFiveDigits) {
  box_.SetCounts(100000, -123456);
  EXPECT_EQ(box_.Counts(), std::make_pair(99999, -99999));
  EXPECT_EQ(port_->Ask("Q", 14), "+99999\t-99999\r");
}

TEST_F(BoxTest, AnswersPWithTheStatus) {
  EXPECT_EQ(port_->Ask("P", 4), "000\r");
  box_.SetStatus(7);
  EXPECT_EQ(port_->Ask("P", 4), "007\r");
  box_.SetStatus(4321);
  EXPECT_EQ(port_->Ask("P", 4), "4321");
  ASSERT_TRUE(box_.SetStatusBytes("AB1\r"));
  EXPECT_EQ(port_->Ask("P", 4), "AB1\r");
}

TEST_F(BoxTest, StatusBytesRefuseFlowControlAndWrongLengths) {
  EXPECT_FALSE(
      box_.SetStatusBytes(std::string("1\x11"
                                      "2\r")));
  EXPECT_FALSE(
      box_.SetStatusBytes(std::string("1\x13"
                                      "2\r")));
  EXPECT_FALSE(box_.SetStatusBytes("12\r"));
  EXPECT_FALSE(box_.SetStatusBytes("12345"));
  EXPECT_EQ(box_.StatusBytes(), "000\r");
}

TEST_F(BoxTest, IgnoresOtherBytesButCountsThem) {
  ASSERT_TRUE(port_->Send("xq p\n\x11\x13"));
  EXPECT_EQ(port_->Read(1, 100), "");
  ASSERT_TRUE(box_.WaitFor([](const dscsim::Stats& s) { return s.bytes_received >= 7; }, 500ms));
  const dscsim::Stats stats = box_.GetStats();
  EXPECT_EQ(stats.bytes_received, 7u);
  EXPECT_EQ(stats.q_received, 0u);
  EXPECT_EQ(stats.p_received, 0u);
  EXPECT_EQ(stats.bytes_sent, 0u);
}

TEST_F(BoxTest, CountersFollowTheExchanges) {
  const auto before = Clock::now();
  EXPECT_EQ(port_->Ask("Q", 14).size(), 14u);
  EXPECT_EQ(port_->Ask("P", 4).size(), 4u);
  EXPECT_EQ(port_->Ask("Q", 14).size(), 14u);
  // The box counts an answer just after its last byte has left.
  ASSERT_TRUE(box_.WaitFor(
      [](const dscsim::Stats& s) { return s.q_answered == 2 && s.p_answered == 1; }, 500ms));
  const auto after = Clock::now();
  const dscsim::Stats stats = box_.GetStats();
  EXPECT_EQ(stats.bytes_received, 3u);
  EXPECT_EQ(stats.q_received, 2u);
  EXPECT_EQ(stats.p_received, 1u);
  EXPECT_EQ(stats.q_answered, 2u);
  EXPECT_EQ(stats.p_answered, 1u);
  EXPECT_EQ(stats.bytes_sent, 32u);
  EXPECT_GT(stats.last_answer_end, before);
  EXPECT_LE(stats.last_answer_end, after);
  EXPECT_LE(stats.last_query, stats.last_answer_end);
  box_.ResetStats();
  EXPECT_EQ(box_.GetStats().bytes_received, 0u);
}

TEST_F(BoxTest, ByteTimeIsThatOf9600Baud8N1) {
  EXPECT_EQ(box_.ByteTime(), std::chrono::nanoseconds(1041666));
  EXPECT_TRUE(box_.pacing());
}

TEST_F(BoxTest, AnswerTakesFourteenByteTimes) {
  // A 14-byte answer at 9600 baud takes 14 x 1.0417 ms = 14.6 ms.
  double elapsed = 0.0;
  ASSERT_EQ(port_->Ask("Q", 14, 500, &elapsed).size(), 14u);
  EXPECT_GE(elapsed, 14.0);
  EXPECT_LT(elapsed, 60.0);
  ASSERT_EQ(port_->Ask("P", 4, 500, &elapsed).size(), 4u);
  EXPECT_GE(elapsed, 3.9);
  EXPECT_LT(elapsed, 40.0);
}

TEST_F(BoxTest, BytesArriveOneByOneAtTheLinePace) {
  // A reader kept off the processor by a busy machine finds the bytes piled
  // up: one query in three read in time is enough to see the pace.
  double first = 0.0, last = 0.0;
  for (int attempt = 0; attempt < 3; ++attempt) {
    ASSERT_TRUE(port_->Send("Q"));
    const auto start = Clock::now();
    std::vector<double> arrivals;
    while (arrivals.size() < 14 && MillisecondsSince(start) < 500) {
      const std::string b = port_->Read(1, 100);
      if (b.empty()) break;
      arrivals.push_back(MillisecondsSince(start));
    }
    ASSERT_EQ(arrivals.size(), 14u);
    // The last byte cannot have come before 14 byte times after the query
    // (a late reader only makes that later).
    EXPECT_GE(arrivals.back(), 14 * 1.0417 - 0.5);
    first = arrivals.front(), last = arrivals.back();
    if (first < last - 4.0) break;
  }
  // The bytes did not come in one lump: the first was read well before the last.
  EXPECT_LT(first, last - 4.0);
}

TEST_F(BoxTest, QueuedAnswersFollowEachOtherWithoutDrift) {
  // Ten queries at once: 140 bytes back to back take 145.8 ms on the line.
  const auto start = Clock::now();
  ASSERT_TRUE(port_->Send("QQQQQQQQQQ"));
  const std::string answers = port_->Read(140, 1000);
  const double elapsed = MillisecondsSince(start);
  ASSERT_EQ(answers.size(), 140u);
  EXPECT_GE(elapsed, 145.0);
  EXPECT_LT(elapsed, 250.0);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(answers.substr(14 * i, 14), "+00000\t+00000\r");
}

TEST_F(BoxTest, PacingCanBeSwitchedOff) {
  box_.SetPacing(false);
  ASSERT_TRUE(port_->Send("QQQQQQQQQQ"));
  const auto start = Clock::now();
  const std::string answers = port_->Read(140, 1000);
  EXPECT_EQ(answers.size(), 140u);
  EXPECT_LT(MillisecondsSince(start), 100.0);  // paced, this would take 146 ms
}

TEST_F(BoxTest, SilentAnswersNothing) {
  box_.SetSilent(true);
  EXPECT_EQ(port_->Ask("Q", 14, 300), "");
  EXPECT_EQ(port_->Ask("P", 4, 200), "");
  const dscsim::Stats stats = box_.GetStats();
  EXPECT_EQ(stats.q_received, 1u);
  EXPECT_EQ(stats.p_received, 1u);
  EXPECT_EQ(stats.q_answered, 0u);
  EXPECT_EQ(stats.p_answered, 0u);
  box_.SetSilent(false);
  EXPECT_EQ(port_->Ask("Q", 14), "+00000\t+00000\r");
}

TEST_F(BoxTest, ShortAnswerSendsTheFirstBytesOnly) {
  box_.SetCounts(1234, -567);
  box_.SetShortAnswer(5);
  EXPECT_EQ(port_->Ask("Q", 14, 300), "+0123");
  EXPECT_EQ(port_->Ask("P", 4, 200), "000\r");  // shorter than k: whole
  box_.SetShortAnswer(3);
  EXPECT_EQ(port_->Ask("P", 4, 200), "000");
  box_.SetShortAnswer(13);
  EXPECT_EQ(port_->Ask("Q", 14, 300), "+01234\t-00567");
  box_.SetShortAnswer(-1);
  EXPECT_EQ(port_->Ask("Q", 14), "+01234\t-00567\r");
}

TEST_F(BoxTest, GarbageHasTheRightLengthAndNoFlowControlBytes) {
  box_.SetCounts(1234, -567);
  box_.SetPacing(false);
  box_.SetGarbage(true);
  std::string all;
  int differing = 0;
  for (int i = 0; i < 60; ++i) {
    const std::string q = port_->Ask("Q", 14, 300);
    ASSERT_EQ(q.size(), 14u);
    if (q != "+01234\t-00567\r") ++differing;
    const std::string p = port_->Ask("P", 4, 300);
    ASSERT_EQ(p.size(), 4u);
    all += q + p;
  }
  EXPECT_EQ(differing, 60);
  EXPECT_EQ(all.find('\x11'), std::string::npos);
  EXPECT_EQ(all.find('\x13'), std::string::npos);
  // Random, not a fixed pattern.
  EXPECT_NE(all.substr(0, 18), all.substr(18, 18));
  EXPECT_EQ(port_->Read(1, 50), "");
}

TEST_F(BoxTest, AnswersWithoutSigns) {
  box_.SetCounts(1234, -567);
  box_.SetNoSigns(true);
  const std::string answer = port_->Ask("Q", 14);
  EXPECT_EQ(answer, " 01234\t 00567\r");
  EXPECT_EQ(answer.find_first_of("+-"), std::string::npos);
}

TEST_F(BoxTest, SlowBytesLeaveAGapBetweenBytes) {
  box_.SetByteGap(30);
  // A reader that gives up 20 ms after a byte sees only the first one.
  ASSERT_TRUE(port_->Send("Q"));
  EXPECT_EQ(port_->Read(14, 240, 20), "+");
  box_.ClearFaults();
  // The rest of that answer is still on its way; wait it out, then one more.
  port_->Read(100, 600, 100);
  double elapsed = 0.0;
  EXPECT_EQ(port_->Ask("Q", 14, 500, &elapsed), "+00000\t+00000\r");
  EXPECT_LT(elapsed, 60.0);
}

TEST_F(BoxTest, SlowBytesTakeTheirGapsInTotal) {
  box_.SetByteGap(10);
  double elapsed = 0.0;
  ASSERT_EQ(port_->Ask("P", 4, 500, &elapsed), "000\r");
  EXPECT_GE(elapsed, 3 * 10 + 4 * 1.0);  // three gaps and four byte times
}

TEST_F(BoxTest, LateAnswersWaitBeforeTheFirstByte) {
  box_.SetAnswerDelay(150);
  ASSERT_TRUE(port_->Send("Q"));
  const auto start = Clock::now();
  EXPECT_EQ(port_->Read(1, 120), "");  // nothing for the first 120 ms
  const std::string rest = port_->Read(14, 500);
  EXPECT_EQ(rest, "+00000\t+00000\r");
  EXPECT_GE(MillisecondsSince(start), 150.0);
}

TEST_F(BoxTest, FaultsCanBeSetTogetherAndCleared) {
  dscsim::Faults faults;
  faults.no_signs = true;
  faults.short_length = 6;
  box_.SetFaults(faults);
  EXPECT_EQ(box_.GetFaults().short_length, 6);
  box_.SetCounts(-42, 0);
  EXPECT_EQ(port_->Ask("Q", 14, 300), " 00042");
  box_.ClearFaults();
  EXPECT_EQ(port_->Ask("Q", 14), "-00042\t+00000\r");
}

TEST_F(BoxTest, UnplugIsSeenAsHangUp) {
  EXPECT_EQ(port_->Ask("Q", 14).size(), 14u);
  ASSERT_TRUE(box_.Unplug());
  EXPECT_FALSE(box_.plugged());
  EXPECT_EQ(box_.SlavePath(), "");
  EXPECT_TRUE(port_->WaitHangUp(500));
  EXPECT_FALSE(box_.Unplug());  // already out
}

TEST_F(BoxTest, ReplugOpensANewPair) {
  const std::string old_path = box_.SlavePath();
  ASSERT_TRUE(box_.Unplug());
  ASSERT_TRUE(port_->WaitHangUp(500));
  port_.reset();
  std::string error;
  ASSERT_TRUE(box_.Replug(&error)) << error;
  ASSERT_FALSE(box_.SlavePath().empty());
  SlavePort again(box_.SlavePath());
  ASSERT_TRUE(again.ok());
  box_.SetCounts(5, 6);
  EXPECT_EQ(again.Ask("Q", 14), "+00005\t+00006\r");
  EXPECT_TRUE(box_.Replug());  // already in: nothing changes
}

TEST_F(BoxTest, UnplugInTheMiddleOfALateAnswerDoesNotHang) {
  box_.SetAnswerDelay(2000);
  ASSERT_TRUE(port_->Send("Q"));
  ASSERT_TRUE(box_.WaitFor([](const dscsim::Stats& s) { return s.q_received == 1; }, 500ms));
  const auto start = Clock::now();
  ASSERT_TRUE(box_.Unplug());
  EXPECT_LT(MillisecondsSince(start), 300.0);
  EXPECT_TRUE(port_->WaitHangUp(500));
}

TEST(BoxLifeTest, StopAndDestructorReturnPromptly) {
  auto start = Clock::now();
  {
    dscsim::Box box;
    ASSERT_TRUE(box.Start());
    SlavePort port(box.SlavePath());
    ASSERT_TRUE(port.ok());
    box.SetAnswerDelay(5000);
    ASSERT_TRUE(port.Send("QQQ"));
    ASSERT_TRUE(box.WaitFor([](const dscsim::Stats& s) { return s.q_received >= 1; }, 500ms));
    start = Clock::now();
    box.Stop();
    EXPECT_FALSE(box.running());
    EXPECT_EQ(box.SlavePath(), "");
    box.Stop();  // twice is fine
  }
  EXPECT_LT(MillisecondsSince(start), 300.0);

  start = Clock::now();
  {
    dscsim::Box box;
    ASSERT_TRUE(box.Start());
  }
  EXPECT_LT(MillisecondsSince(start), 300.0);
}

TEST(BoxLifeTest, TwoBoxesAnswerIndependently) {
  dscsim::Box a, b;
  ASSERT_TRUE(a.Start());
  ASSERT_TRUE(b.Start());
  ASSERT_NE(a.SlavePath(), b.SlavePath());
  a.SetCounts(1, 2);
  b.SetCounts(3, 4);
  SlavePort pa(a.SlavePath()), pb(b.SlavePath());
  EXPECT_EQ(pa.Ask("Q", 14), "+00001\t+00002\r");
  EXPECT_EQ(pb.Ask("Q", 14), "+00003\t+00004\r");
}

TEST_F(BoxTest, CountsChangedDuringAnswersStayConsistent) {
  // The controlling thread keeps changing the counts as (i, -i); every
  // answer must carry one pair, never half of one and half of another.
  box_.SetPacing(false);
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (std::int32_t i = 0; !done; i = (i + 1) % 99999) box_.SetCounts(i, -i);
  });
  for (int n = 0; n < 200; ++n) {
    const std::string answer = port_->Ask("Q", 14);
    ASSERT_EQ(answer.size(), 14u);
    ASSERT_EQ(answer[0], '+');
    if (answer.substr(1, 5) != "00000") {
      EXPECT_EQ(answer[7], '-') << answer;
    }
    EXPECT_EQ(answer.substr(1, 5), answer.substr(8, 5)) << answer;
  }
  done = true;
  writer.join();
}

TEST(BoxOptionsTest, OtherBaudRatesPaceAccordingly) {
  dscsim::Box::Options options;
  options.baud = 1200;  // 8.33 ms a byte
  dscsim::Box box(options);
  ASSERT_TRUE(box.Start());
  EXPECT_EQ(box.ByteTime(), std::chrono::nanoseconds(8333333));
  SlavePort port(box.SlavePath());
  double elapsed = 0.0;
  ASSERT_EQ(port.Ask("P", 4, 500, &elapsed), "000\r");
  EXPECT_GE(elapsed, 4 * 8.3);
}

}  // namespace
