// The configuration dialog of the real Controller.plug, opened by operation
// 23 and run through the host's ws_ dialog functions, with a real profile.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "astro_vl.h"
#include "dsc_sim.h"
#include "plugin_loader.h"
#include "temp_config.h"
#include "test_blocks.h"
#include "window_system_model.h"

namespace {

constexpr double kPi = 3.141592653589793;

using testsupport::ProfileKey;

class DialogThroughHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wsm::Reset();
    ASSERT_TRUE(plugin_.Loaded()) << plugin_.Error();
  }
  void Open(wsm::DialogScript script) {
    wsm::SetDialogScript(std::move(script));
    EXPECT_EQ(plugin_.Call(23, 0), 0);
  }
  std::string Key(const std::string& key) const { return ProfileKey(config_.ReadProfile(), key); }

  testsupport::TempConfigDir config_;
  testhost::Plugin plugin_;
};

TEST_F(DialogThroughHostTest, CancelRewritesTheProfileFromWhatWasRead) {
  config_.WriteProfile(
      "[ZazuvUzarDLL]\nResRA=-2048xyz\nResDec=10000abc\nCommPort=COM2\nRefRA=1.0\nRefDec=-0.25\n"
      "MountType=AA\nPCode=off\n");
  Open([](wsm::Dialog& d) {
    d.SetText(1000, "999");
    d.Click(1003);
    d.Click(1006);
    d.Click(1020);
    d.Click(1021);
    d.SetText(1017, "45");
    d.Click(2);
  });
  EXPECT_EQ(wsm::TheLog().dialogs_opened, 1);
  EXPECT_EQ(wsm::TheLog().dialog_caption, "Configure Telescope (QRT Plugin V2.1)");
  EXPECT_EQ(config_.ReadProfile(),
            "[ZazuvUzarDLL]\n"
            "ResRA=-2048\n"
            "ResDec=10000\n"
            "CommPort=COM2\n"
            "RefRA=1.00000000000\n"
            "RefDec=-0.25000000000\n"
            "MountType=AA\n"
            "PCode=OFF\n"
            "PointModel=AXES\n");
}

TEST_F(DialogThroughHostTest, ControlsShowTheStoredSettings) {
  config_.WriteProfile(
      "[ZazuvUzarDLL]\nResRA=4096\nResDec=-8192\nCommPort=COM4\nMountType=AA\nPCode=ON\n");
  Open([](wsm::Dialog& d) { d.Click(2); });
  const std::vector<std::string> expected = {"1=OK/0",      "2=Cancel/0",    "1000=4096/0",
                                             "1001=8192/0", "1003=Invert/1", "1002=Invert/0",
                                             "1004=COM1/0", "1005=COM2/0",   "1006=COM3/0",
                                             "1007=COM4/1", "1013=02/0",     "1015=32/0",
                                             "1016=35/0",   "1017=89/0",     "1018=16/0",
                                             "1019=36/0",   "1014=Off/0",    "1020=On/1",
                                             "1021=EQ/0",   "1022=AA/1",     "1023=Mount model/0"};
  const auto& shown = wsm::TheLog().dialog_texts_at_init;
  for (const std::string& item : expected) {
    EXPECT_NE(std::find(shown.begin(), shown.end(), item), shown.end()) << item;
  }
  EXPECT_EQ(shown.size(), 30u);
}

TEST_F(DialogThroughHostTest, InvertedAxisShowsAndKeepsMinus4096) {
  config_.WriteProfile("[ZazuvUzarDLL]\nResRA=-4096\n");
  Open([](wsm::Dialog& d) {
    EXPECT_EQ(d.Text(1000), "4096");
    EXPECT_TRUE(d.Checked(1002));
    d.Click(1);
  });
  EXPECT_EQ(Key("ResRA"), "-4096");
}

TEST_F(DialogThroughHostTest, Lpt1WithCom3ChosenBecomesLpt3) {
  config_.WriteProfile("[ZazuvUzarDLL]\nCommPort=LPT1\n");
  Open([](wsm::Dialog& d) {
    EXPECT_TRUE(d.Checked(1004));
    d.Click(1006);
    d.Click(1);
  });
  EXPECT_EQ(Key("CommPort"), "LPT3");
  EXPECT_TRUE(wsm::TheLog().boxes.empty());
}

TEST_F(DialogThroughHostTest, Com7WarnsAndSurvivesOk) {
  config_.WriteProfile("[ZazuvUzarDLL]\nCommPort=COM7\n");
  Open([](wsm::Dialog& d) {
    for (std::uint16_t id : {1004, 1005, 1006, 1007}) EXPECT_FALSE(d.Checked(id)) << id;
    d.Click(1);
  });
  ASSERT_EQ(wsm::TheLog().boxes.size(), 1u);
  EXPECT_EQ(wsm::TheLog().boxes[0].text, "Invalid comm port setting");
  EXPECT_EQ(wsm::TheLog().boxes[0].caption, "Configuration Error");
  EXPECT_EQ(wsm::TheLog().boxes[0].style, 0x1030u);
  EXPECT_EQ(Key("CommPort"), "COM7");
}

TEST_F(DialogThroughHostTest, ChosenPortThenCancelThenOkKeepsTheStoredPort) {
  config_.WriteProfile("[ZazuvUzarDLL]\nCommPort=COM2\n");
  Open([](wsm::Dialog& d) {
    d.Click(1007);
    d.Click(2);
  });
  Open([](wsm::Dialog& d) {
    EXPECT_TRUE(d.Checked(1005));
    d.Click(1);
  });
  EXPECT_EQ(Key("CommPort"), "COM2");
}

TEST_F(DialogThroughHostTest, DeclinationMinus9_30_00StoresAndShowsAgain) {
  Open([](wsm::Dialog& d) {
    d.SetText(1017, "-9");
    d.SetText(1018, "30");
    d.SetText(1019, "00");
    d.Click(1);
  });
  EXPECT_EQ(Key("RefDec"), "-0.16580627894");
  EXPECT_NEAR(std::stod(Key("RefDec")), -9.5 * kPi / 180.0, 1e-11);
  Open([](wsm::Dialog& d) {
    EXPECT_EQ(d.Text(1017), "-9");
    EXPECT_EQ(d.Text(1018), "30");
    EXPECT_EQ(d.Text(1019), "00");
    d.SetText(1017, "09");
    d.Click(1);
  });
  EXPECT_EQ(Key("RefDec"), "0.16580627894");
}

TEST_F(DialogThroughHostTest, ReferenceFieldsReadLeadingIntegers) {
  Open([](wsm::Dialog& d) {
    d.SetText(1013, "2.7");
    d.SetText(1015, "letters");
    d.SetText(1016, "00");
    d.Click(1);
  });
  // 2h 0m 0s
  EXPECT_EQ(Key("RefRA"), "0.52359877560");
}

TEST_F(DialogThroughHostTest, MinusHalfDegreeShowsMinus00AndKeepsItsValue) {
  config_.WriteProfile("[ZazuvUzarDLL]\nRefDec=-0.00872664626\n");
  Open([](wsm::Dialog& d) {
    EXPECT_EQ(d.Text(1017), "-00");
    EXPECT_EQ(d.Text(1018), "30");
    EXPECT_EQ(d.Text(1019), "00");
    d.Click(1);
  });
  EXPECT_EQ(Key("RefDec"), "-0.00872664626");
}

TEST_F(DialogThroughHostTest, OkTwiceUneditedLeavesTheReferencePoint) {
  config_.WriteProfile("[ZazuvUzarDLL]\nRefRA=0.66577765979\nRefDec=1.55817662667\n");
  Open([](wsm::Dialog& d) { d.Click(1); });
  Open([](wsm::Dialog& d) { d.Click(1); });
  EXPECT_EQ(Key("RefRA"), "0.66577765979");
  EXPECT_EQ(Key("RefDec"), "1.55817662667");
}

TEST_F(DialogThroughHostTest, EmptyResolutionKeepsThePreviousOne) {
  config_.WriteProfile("[ZazuvUzarDLL]\nResRA=4000\nResDec=5000\n");
  Open([](wsm::Dialog& d) {
    d.SetText(1000, "");
    d.SetText(1001, "abc");
    d.Click(1);
  });
  EXPECT_EQ(Key("ResRA"), "4000");
  EXPECT_EQ(Key("ResDec"), "5000");
}

TEST_F(DialogThroughHostTest, DialogThatCannotBeCreated) {
  config_.WriteProfile("[ZazuvUzarDLL]\nResRA=1234\n");
  wsm::TheBehaviour().dialog_create_fails = true;
  wsm::TheBehaviour().dialog_error = 1813;
  plugin_.Call(23, 0);
  ASSERT_EQ(wsm::TheLog().boxes.size(), 1u);
  EXPECT_EQ(wsm::TheLog().boxes[0].text, "Error in dialog box: 1813.");
  EXPECT_EQ(wsm::TheLog().boxes[0].caption, "Dialog Box Error");
  EXPECT_EQ(wsm::TheLog().boxes[0].style, 0x1010u);
  EXPECT_EQ(Key("ResRA"), "1234");
  EXPECT_EQ(Key("PCode"), "ON") << "the settings just loaded are saved back";
}

// The values the dialog leaves in memory, seen through the positions the
// plug-in reports from the simulated box.
class DialogMemoryTest : public DialogThroughHostTest {
 protected:
  void SetUp() override {
    DialogThroughHostTest::SetUp();
    std::string error;
    ASSERT_TRUE(box_.Start(&error)) << error;
    config_.LinkPort("COM1", box_.SlavePath());
    astro::vl::ClearContexts();
    astro::vl::SetContext(kContext, astro::vl::kDefaultSite, 2461000.75);
    std::vector<std::uint8_t> context(16, 0);
    testhost::PutI32(context, 12, kContext);
    plugin_.Call(39, context);
  }
  void TearDown() override {
    plugin_.Call(27, 0);
    astro::vl::ClearContexts();
  }
  // Operation 21's right ascension and declination.
  std::pair<double, double> TelescopePosition() {
    std::vector<std::uint8_t> record(400, 0);
    testhost::PutI32(record, 320, kContext);
    plugin_.Call(21, record);
    return {testhost::GetF64(record, 8), testhost::GetF64(record, 16)};
  }
  static constexpr std::int32_t kContext = 17;
  dscsim::Box box_;
};

TEST_F(DialogMemoryTest, CancelChangesNothingInMemory) {
  config_.WriteProfile("[ZazuvUzarDLL]\nResRA=4096\nResDec=4096\nRefRA=1.0\nRefDec=0.5\n");
  Open([](wsm::Dialog& d) {
    d.SetText(1000, "1000");
    d.Click(1022);
    d.SetText(1013, "07");
    d.Click(2);
  });
  plugin_.Call(26, 0);
  box_.SetCounts(1024, 0);
  const auto [ra, dec] = TelescopePosition();
  EXPECT_NEAR(ra, 1.0 + kPi / 2.0, 1e-12) << "resolution 4096 and the stored reference";
  EXPECT_NEAR(dec, 0.5, 1e-12);
}

TEST_F(DialogMemoryTest, OkTakesEffectInMemoryAtOnce) {
  config_.WriteProfile("[ZazuvUzarDLL]\nResRA=4096\nResDec=4096\nRefRA=1.0\nRefDec=0.5\n");
  Open([](wsm::Dialog& d) {
    d.SetText(1000, "2048");
    d.Click(1002);
    d.Click(1);
  });
  plugin_.Call(26, 0);
  box_.SetCounts(256, 0);
  const auto [ra, dec] = TelescopePosition();
  EXPECT_NEAR(ra, 1.0 - kPi / 4.0, 1e-12) << "an inverted 2048-count axis";
  EXPECT_NEAR(dec, 0.5, 1e-12) << "the unedited reference point kept exactly";
}

}  // namespace
