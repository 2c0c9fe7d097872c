// The planetarium protocols as pure functions: LX200 answers and parsing,
// Stellarium's binary messages.
#include <gtest/gtest.h>

#include "lx200_protocol.h"
#include "stellarium_protocol.h"

namespace {

using host::lx200::Answer;
using host::lx200::ClientState;
using host::lx200::Context;

struct Lx200Case {
  const char* command;
  bool high_precision;
  const char* answer;
};

class Lx200Answers : public ::testing::TestWithParam<Lx200Case> {};

TEST_P(Lx200Answers, FollowThePrecisionAndTheSite) {
  Context context;
  context.position =
      astro::Equatorial{astro::FromHms(18, 36, 56.3), astro::FromDms(true, 8, 47, 1.4)};
  context.latitude = 51.5 * astro::kDegree;
  context.longitude = 2.25 * astro::kDegree;  // east: negative in the protocol
  context.utc_offset_hours = 1.0;             // an hour ahead: add -1 to get UTC
  ClientState state;
  state.high_precision = GetParam().high_precision;
  EXPECT_EQ(Answer(GetParam().command, state, context).text, GetParam().answer);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Lx200Answers,
    ::testing::Values(Lx200Case{":GR#", false, "18:36.9#"}, Lx200Case{":GR#", true, "18:36:56#"},
                      Lx200Case{":GD#", false, "-08*47#"}, Lx200Case{":GD#", true, "-08*47'01#"},
                      Lx200Case{"\x06", false, "P"}, Lx200Case{":Gt#", false, "+51*30#"},
                      Lx200Case{":Gg#", false, "-002*15#"}, Lx200Case{":GG#", false, "-01#"},
                      Lx200Case{":Sr 25:00:00#", false, "0"}, Lx200Case{":Sd+91*00#", false, "0"},
                      Lx200Case{":Sr 12:60:00#", false, "0"},
                      Lx200Case{":Sr 12:00:60#", false, "0"}, Lx200Case{":Sd+10*60#", false, "0"},
                      Lx200Case{":Sd+10*00:60#", false, "0"},
                      Lx200Case{":CM#", false, "#"},  // no target set: refused
                      Lx200Case{":Xyz#", false, ""}));

TEST(Lx200Protocol, TargetThenSyncAsksTheHostAndUToggles) {
  ClientState state;
  Context context;
  EXPECT_EQ(Answer(":Sr18:36:56#", state, context).text, "1");
  EXPECT_EQ(Answer(":Sd +38\xDF"
                   "47:01#",
                   state, context)
                .text,
            "1");
  const host::lx200::Reply sync = Answer(":CM#", state, context);
  EXPECT_EQ(sync.action, host::lx200::Action::kSync);
  EXPECT_TRUE(sync.text.empty()) << "the host answers once it has acted";
  EXPECT_NEAR(*state.target_dec, astro::FromDms(false, 38, 47, 1), 1e-9);
  Answer(":U#", state, context);
  EXPECT_TRUE(state.high_precision);
  EXPECT_EQ(Answer(":Gr#", state, context).text, "18:36:56#");
}

TEST(Lx200Protocol, GarbageAndHalfCommandsWaitOrGo) {
  std::string buffer = "\xff\r\n#zz:GR#:GD";
  EXPECT_EQ(host::lx200::NextCommand(buffer), ":GR#");
  EXPECT_EQ(host::lx200::NextCommand(buffer), std::nullopt);
  EXPECT_EQ(buffer, ":GD") << "half a command stays for the next read";
  buffer += "#\x06";
  EXPECT_EQ(host::lx200::NextCommand(buffer), ":GD#");
  EXPECT_EQ(host::lx200::NextCommand(buffer), "\x06");
  buffer = "garbage without a colon";
  EXPECT_EQ(host::lx200::NextCommand(buffer), std::nullopt);
  EXPECT_TRUE(buffer.empty());
}

TEST(StellariumProtocol, PositionMessageLayout) {
  const auto m = host::stellarium::PositionMessage(astro::kPi, -astro::kPi / 2, 0x0102030405060708);
  const std::uint8_t expected[24] = {24,   0,    0,    0,    8,    7,    6,    5,
                                     4,    3,    2,    1,    0x00, 0x00, 0x00, 0x80,  // 12h
                                     0x00, 0x00, 0x00, 0xC0,                          // -90 degrees
                                     0,    0,    0,    0};
  for (int i = 0; i < 24; ++i) EXPECT_EQ(m[i], expected[i]) << "byte " << i;
}

TEST(StellariumProtocol, GotoHalfMessagesAndBadLengths) {
  // A goto to 6h, +45 degrees, arriving in two pieces.
  std::string message = {20, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x40, 0, 0, 0, 0x20};
  std::string buffer = message.substr(0, 7);
  host::stellarium::Goto target;
  EXPECT_EQ(host::stellarium::NextMessage(buffer, &target), host::stellarium::Parse::kNeedMore);
  buffer += message.substr(7);
  ASSERT_EQ(host::stellarium::NextMessage(buffer, &target), host::stellarium::Parse::kGoto);
  EXPECT_NEAR(target.ra, 6 * astro::kHour, 1e-9);
  EXPECT_NEAR(target.dec, 45 * astro::kDegree, 1e-9);
  EXPECT_TRUE(buffer.empty());
  buffer = std::string("\x02\x00\x00\x00", 4);
  EXPECT_EQ(host::stellarium::NextMessage(buffer, &target), host::stellarium::Parse::kBad);
  buffer = std::string("\x08\x00\x05\x00....", 8);
  EXPECT_EQ(host::stellarium::NextMessage(buffer, &target), host::stellarium::Parse::kSkipped);
}

}  // namespace
