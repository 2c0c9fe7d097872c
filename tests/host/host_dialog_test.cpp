// The configuration dialog as the host's terminal form, driven as a person
// would: lines typed into a tmux window, and the same lines from a script.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "dsc_sim.h"
#include "host_test_support.h"
#include "temp_config.h"

namespace {

using hosttest::ShellQuote;

constexpr const char* kProfile =
    "[ZazuvUzarDLL]\nResRA=8192\nResDec=8192\nCommPort=COM1\nMountType=EQ\nPCode=ON\n";

std::string Args(const testsupport::TempConfigDir& config) {
  return "--plugin " + ShellQuote(CONTROLLER_PLUG_PATH) + " --config " +
         ShellQuote(config.Path().string());
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Keys in template order: a OK, b Cancel, c 1000, d 1001, e 1003 (Invert of
// the second axis), f 1002, g..j COM1..COM4, k..p the reference point, q Off,
// r On, s EQ, t AA.
TEST(HostDialogForm, ScriptedEditsReachTheProfileOnOk) {
  testsupport::TempConfigDir config;
  config.WriteProfile(kProfile);
  const hosttest::Run run =
      hosttest::RunHost("--scripted " + Args(config), "configure\nc 2048\nf\ni\nt\nq\nok\nquit\n");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(Has(run.out, "Configure Telescope (QRT Plugin V2.1)")) << run.out;
  EXPECT_TRUE(Has(run.out, "(dialog closed with OK)")) << run.out;
  const std::string profile = config.ReadProfile();
  EXPECT_TRUE(Has(profile, "ResRA=-2048")) << profile;
  EXPECT_TRUE(Has(profile, "ResDec=8192")) << profile;
  EXPECT_TRUE(Has(profile, "CommPort=COM3")) << profile;
  EXPECT_TRUE(Has(profile, "MountType=AA")) << profile;
  EXPECT_TRUE(Has(profile, "PCode=OFF")) << profile;
}

TEST(HostDialogForm, CancelAndEndOfInputChangeNothing) {
  testsupport::TempConfigDir config;
  config.WriteProfile(kProfile);
  hosttest::Run run =
      hosttest::RunHost("--scripted " + Args(config), "configure\nc 2048\ncancel\nquit\n");
  EXPECT_TRUE(Has(run.out, "(dialog closed)")) << run.out;
  EXPECT_TRUE(Has(config.ReadProfile(), "ResRA=8192")) << config.ReadProfile();

  run = hosttest::RunHost("--scripted " + Args(config), "configure\nc 2048\n");
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_TRUE(Has(run.out, "(input ended: Cancel)")) << run.out;
  EXPECT_TRUE(Has(config.ReadProfile(), "ResRA=8192"));
}

TEST(HostDialogForm, UnknownKeysAndTextOnButtonsAreRefusedInOneLine) {
  testsupport::TempConfigDir config;
  config.WriteProfile(kProfile);
  const hosttest::Run run =
      hosttest::RunHost("--scripted " + Args(config), "configure\nzz\nf yes\ncancel\nquit\n");
  EXPECT_TRUE(Has(run.out, "No control has the key 'zz'")) << run.out;
  EXPECT_TRUE(Has(run.out, "'Invert' takes no text.")) << run.out;
}

TEST(HostDialogForm, APersonAtATerminalEditsAndPressesOk) {
  if (!hosttest::HaveTmux()) GTEST_SKIP() << "tmux is not installed (scripts/setup test)";
  testsupport::TempConfigDir config;
  config.WriteProfile(kProfile);
  hosttest::Tmux tmux(std::string(VELASTRA_HOST_PATH) + " " + Args(config), 100, 45);
  ASSERT_TRUE(tmux.started());
  ASSERT_TRUE(tmux.WaitFor("velastra>")) << tmux.Screen();
  tmux.Type("configure");
  ASSERT_TRUE(tmux.WaitFor("dialog>")) << tmux.Screen();
  const std::string form = tmux.Screen();
  EXPECT_TRUE(Has(form, "Configure Telescope (QRT Plugin V2.1)")) << form;
  EXPECT_TRUE(Has(form, "c)[8192")) << form;
  EXPECT_TRUE(Has(form, "g)(*) COM1")) << form;
  EXPECT_TRUE(Has(form, "s)(*) EQ")) << form;
  EXPECT_TRUE(Has(form, "k)[02 ]")) << form;  // reference right ascension, hours
  tmux.Type("d 1024");
  tmux.Type("e");
  ASSERT_TRUE(tmux.WaitFor("e)[x] Invert")) << tmux.Screen();
  tmux.Type("ok");
  ASSERT_TRUE(tmux.WaitFor("(dialog closed with OK)")) << tmux.Screen();
  tmux.Type("quit");
  for (int i = 0; i < 100 && !Has(config.ReadProfile(), "ResDec=-1024"); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_TRUE(Has(config.ReadProfile(), "ResDec=-1024")) << config.ReadProfile();
}

TEST(HostDialogForm, TheFormFitsAnEightyByTwentyFourTerminal) {
  if (!hosttest::HaveTmux()) GTEST_SKIP() << "tmux is not installed (scripts/setup test)";
  testsupport::TempConfigDir config;
  config.WriteProfile(kProfile);
  hosttest::Tmux tmux(std::string(VELASTRA_HOST_PATH) + " " + Args(config), 80, 24);
  ASSERT_TRUE(tmux.started());
  ASSERT_TRUE(tmux.WaitFor("velastra>")) << tmux.Screen();
  tmux.Type("configure");
  ASSERT_TRUE(tmux.WaitFor("dialog>")) << tmux.Screen();
  const std::string shown = tmux.Visible();
  // The caption, the whole form and the prompt on one screen, no line wrapped.
  EXPECT_TRUE(Has(shown, "velastra> configure")) << shown;
  EXPECT_TRUE(Has(shown, "Configure Telescope (QRT Plugin V2.1)")) << shown;
  EXPECT_TRUE(Has(shown, "b)[ Cancel ]")) << shown;
  EXPECT_TRUE(Has(shown, "ok; cancel; Enter redraws\n")) << shown;
  std::size_t start = 0;
  for (std::size_t end; (end = shown.find('\n', start)) != std::string::npos; start = end + 1) {
    EXPECT_LT(end - start, 80u) << shown.substr(start, end - start);
  }
  tmux.Type("cancel");
  tmux.Type("quit");
}

TEST(HostDialogForm, AMessageBoxWaitsForThePersonAtATerminal) {
  if (!hosttest::HaveTmux()) GTEST_SKIP() << "tmux is not installed (scripts/setup test)";
  testsupport::TempConfigDir config;
  config.WriteProfile(kProfile);
  config.LinkPort("COM1", "/dev/no-such-device");
  hosttest::Tmux tmux(std::string(VELASTRA_HOST_PATH) + " " + Args(config), 100, 45);
  ASSERT_TRUE(tmux.started());
  ASSERT_TRUE(tmux.WaitFor("velastra>")) << tmux.Screen();
  tmux.Type("connect");
  ASSERT_TRUE(tmux.WaitFor("Press Enter when it points there")) << tmux.Screen();
  tmux.Type("");
  ASSERT_TRUE(tmux.WaitFor("Press Enter for OK.")) << tmux.Screen();
  EXPECT_FALSE(Has(tmux.Screen(), "Not connected.")) << "the box waits for the person";
  tmux.Type("");
  EXPECT_TRUE(tmux.WaitFor("Not connected.")) << tmux.Screen();
  tmux.Type("quit");
}

// The simulated box on COM1 of a profile of its own, unpaced.
struct BoxAtCom1 {
  dscsim::Box box;
  testsupport::TempConfigDir config;
  bool Start() {
    if (!box.Start()) return false;
    box.SetPacing(false);
    config.WriteProfile(kProfile);
    config.LinkPort("COM1", box.SlavePath());
    return true;
  }
};

// At the prompt: connect (the telescope on the reference point) and switch
// the position reports on.
void ReportsOn(hosttest::Tmux& tmux) {
  ASSERT_TRUE(tmux.started());
  ASSERT_TRUE(tmux.WaitFor("velastra>")) << tmux.Screen();
  tmux.Type("connect");
  ASSERT_TRUE(tmux.WaitFor("Press Enter when it points there")) << tmux.Screen();
  tmux.Type("");
  tmux.Type("report on");
  ASSERT_TRUE(tmux.WaitFor("Position reports are on.")) << tmux.Screen();
}

TEST(HostLinkFailure, OneKeyAtTheBoxStopsReportsOrDisconnects) {
  if (!hosttest::HaveTmux()) GTEST_SKIP() << "tmux is not installed (scripts/setup test)";
  for (const char key : {'s', 'd'}) {
    BoxAtCom1 at;
    ASSERT_TRUE(at.Start());
    dscsim::Box& box = at.box;
    hosttest::Tmux tmux(std::string(VELASTRA_HOST_PATH) + " " + Args(at.config), 100, 45);
    ASSERT_NO_FATAL_FAILURE(ReportsOn(tmux));
    box.Unplug();  // the cable is pulled while reports run
    ASSERT_TRUE(tmux.WaitFor("d: OK, then disconnect")) << tmux.Screen();
    // "Failed to send Q command." as a rule; a pull in the middle of a query
    // may fail its read first.
    EXPECT_TRUE(Has(tmux.Screen(), "Comm Error")) << tmux.Screen();
    tmux.Type(std::string(1, key));
    ASSERT_TRUE(tmux.WaitFor(key == 's' ? "Position reports are off." : "Disconnected."))
        << tmux.Screen();
    // No further box races the person: reports stopped, or the link is closed.
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    const std::string screen = tmux.Screen();
    std::size_t boxes = 0;
    for (std::size_t at = 0; (at = screen.find("d: OK, then disconnect", at)) != std::string::npos;
         ++at) {
      ++boxes;
    }
    EXPECT_EQ(boxes, 1u) << screen;
    tmux.Type("quit");
  }
}

// A box that comes up while a person types takes its answer from a line of
// its own: the "s" of a file name stops nothing, and the line typed so far
// is kept.
TEST(HostLinkFailure, WhatWasTypedBeforeTheBoxIsKept) {
  if (!hosttest::HaveTmux()) GTEST_SKIP() << "tmux is not installed (scripts/setup test)";
  BoxAtCom1 at;
  ASSERT_TRUE(at.Start());
  dscsim::Box& box = at.box;
  const testsupport::TempConfigDir& config = at.config;
  hosttest::Tmux tmux(std::string(VELASTRA_HOST_PATH) + " " + Args(config), 150, 45);
  ASSERT_NO_FATAL_FAILURE(ReportsOn(tmux));
  const std::string picture = (config.Path() / "sky.png").string();
  tmux.Keys("page " + (config.Path() / "s").string());
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  box.Unplug();
  ASSERT_TRUE(tmux.WaitFor("d: OK, then disconnect")) << tmux.Screen();
  tmux.Type("d");
  ASSERT_TRUE(tmux.WaitFor("Disconnected.")) << tmux.Screen();
  EXPECT_TRUE(Has(tmux.Screen(), "(kept what you had typed, go on: page ")) << tmux.Screen();
  tmux.Type("ky.png");
  ASSERT_TRUE(tmux.WaitFor("to " + picture)) << tmux.Screen();
  EXPECT_FALSE(Has(tmux.Screen(), "Position reports are off.")) << tmux.Screen();
  tmux.Type("quit");
}

}  // namespace
