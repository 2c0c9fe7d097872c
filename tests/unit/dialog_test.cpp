// The configuration dialog driven as a person would, against a real profile.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "plugin/plugin.h"
#include "settings/settings.h"
#include "temp_config.h"
#include "test_blocks.h"
#include "window_system_model.h"

namespace {

constexpr double kPi = 3.141592653589793;

using testsupport::ProfileKey;

class ConfigDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ctl::ResetState();
    wsm::Reset();
  }
  // Opens the dialog through operation 23 with the given script.
  void Open(wsm::DialogScript script) {
    wsm::SetDialogScript(std::move(script));
    DoOperation(23, 0);
  }
  const ctl::Settings& S() const { return ctl::State().settings; }
  testsupport::TempConfigDir config_;
};

const char* const kStoredProfile =
    "[ZazuvUzarDLL]\n"
    "ResRA=-2048\n"
    "ResDec=10000\n"
    "CommPort=COM2\n"
    "RefRA=1.0\n"
    "RefDec=-0.25\n"
    "MountType=AA\n"
    "PCode=OFF\n";

TEST_F(ConfigDialogTest, ShowsTheStoredSettings) {
  config_.WriteProfile(kStoredProfile);
  wsm::Dialog* seen = nullptr;
  std::string texts[6];
  bool checks[10] = {};
  Open([&](wsm::Dialog& d) {
    seen = &d;
    EXPECT_EQ(d.Text(1000), "2048");
    EXPECT_EQ(d.Text(1001), "10000");
    checks[0] = d.Checked(1002);
    checks[1] = d.Checked(1003);
    checks[2] = d.Checked(1004);
    checks[3] = d.Checked(1005);
    checks[4] = d.Checked(1006);
    checks[5] = d.Checked(1007);
    checks[6] = d.Checked(1014);
    checks[7] = d.Checked(1020);
    checks[8] = d.Checked(1021);
    checks[9] = d.Checked(1022);
    const std::uint16_t ids[6] = {1013, 1015, 1016, 1017, 1018, 1019};
    for (int i = 0; i < 6; ++i) texts[i] = d.Text(ids[i]);
  });
  ASSERT_NE(seen, nullptr);
  EXPECT_EQ(wsm::TheLog().dialog_caption, "Configure Telescope (QRT Plugin V2.1)");
  const bool expected[10] = {true, false, false, true, false, false, true, false, false, true};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(checks[i], expected[i]) << "check #" << i;
  // 1.0 rad = 3h 49m 10.98s; -0.25 rad = -14 deg 19' 26.2".
  EXPECT_EQ(texts[0], "03");
  EXPECT_EQ(texts[1], "49");
  EXPECT_EQ(texts[2], "10");
  EXPECT_EQ(texts[3], "-14");
  EXPECT_EQ(texts[4], "19");
  EXPECT_EQ(texts[5], "26");
  EXPECT_TRUE(wsm::TheLog().boxes.empty());
}

TEST_F(ConfigDialogTest, CancelChangesNothingAndRewritesWhatWasRead) {
  config_.WriteProfile(kStoredProfile);
  Open([](wsm::Dialog& d) {
    d.SetText(1000, "999");
    d.Click(1002);
    d.Click(1006);
    d.Click(1020);
    d.Click(1021);
    d.SetText(1013, "11");
    d.Click(2);
  });
  EXPECT_EQ(S().ResRA, -2048);
  EXPECT_EQ(S().ResDec, 10000);
  EXPECT_STREQ(S().CommPort, "COM2");
  EXPECT_EQ(S().RefRA, 1.0);
  EXPECT_EQ(S().RefDec, -0.25);
  EXPECT_EQ(S().MountType, 1);
  EXPECT_EQ(S().PCode, 0);
  EXPECT_EQ(ctl::State().RadPerCountRA, (2.0 * kPi) / -2048.0);
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

TEST_F(ConfigDialogTest, ClosingWithoutAButtonIsACancel) {
  config_.WriteProfile(kStoredProfile);
  Open([](wsm::Dialog& d) { d.SetText(1001, "1"); });  // the close box sends Cancel
  EXPECT_EQ(S().ResDec, 10000);
  EXPECT_EQ(ProfileKey(config_.ReadProfile(), "ResDec"), "10000");
}

TEST_F(ConfigDialogTest, InvertedAxisShowsItsMagnitudeAndKeepsItsSign) {
  config_.WriteProfile("[ZazuvUzarDLL]\nResRA=-4096\nResDec=8192\n");
  Open([](wsm::Dialog& d) {
    EXPECT_EQ(d.Text(1000), "4096");
    EXPECT_TRUE(d.Checked(1002));
    EXPECT_FALSE(d.Checked(1003));
    d.Click(1);
  });
  EXPECT_EQ(S().ResRA, -4096);
  EXPECT_EQ(ctl::State().RadPerCountRA, (2.0 * kPi) / -4096.0);
  EXPECT_EQ(ProfileKey(config_.ReadProfile(), "ResRA"), "-4096");
}

// An inverted axis carries one count more than a plain one.
TEST_F(ConfigDialogTest, TheMostNegativeResolutionSurvivesAnUneditedOk) {
  config_.WriteProfile("[ZazuvUzarDLL]\nResRA=-2147483648\nResDec=4096\n");
  Open([](wsm::Dialog& d) {
    EXPECT_EQ(d.Text(1000), "2147483648");
    EXPECT_TRUE(d.Checked(1002));
    d.Click(1);
  });
  EXPECT_EQ(S().ResRA, INT32_MIN);
  EXPECT_EQ(ProfileKey(config_.ReadProfile(), "ResRA"), "-2147483648");
  // Without the Invert box the same magnitude is one too many: it keeps the
  // previous magnitude, as any unusable entry does.
  Open([](wsm::Dialog& d) {
    d.Click(1002);
    d.Click(1);
  });
  EXPECT_EQ(S().ResRA, INT32_MAX);
}

TEST_F(ConfigDialogTest, EditedResolutionsAndInvertBoxes) {
  Open([](wsm::Dialog& d) {
    d.SetText(1000, "10000");
    d.SetText(1001, " 2000 ");
    d.Click(1003);
    d.Click(1);
  });
  EXPECT_EQ(S().ResRA, 10000);
  EXPECT_EQ(S().ResDec, -2000);
  EXPECT_EQ(ctl::State().RadPerCountRA, (2.0 * kPi) / 10000.0);
  EXPECT_EQ(ctl::State().RadPerCountDec, (2.0 * kPi) / -2000.0);
  EXPECT_EQ(ProfileKey(config_.ReadProfile(), "ResDec"), "-2000");
}

TEST_F(ConfigDialogTest, UnusableResolutionKeepsThePreviousValue) {
  config_.WriteProfile("[ZazuvUzarDLL]\nResRA=4000\nResDec=-5000\n");
  for (const char* typed : {"", "letters", "0", "-100", "2.7", "3000000000"}) {
    SCOPED_TRACE(std::string("typed \"") + typed + "\"");
    Open([typed](wsm::Dialog& d) {
      d.SetText(1000, typed);
      d.SetText(1001, typed);
      d.Click(1);
    });
    EXPECT_EQ(S().ResRA, 4000);
    EXPECT_EQ(S().ResDec, -5000);
    EXPECT_TRUE(std::isfinite(ctl::State().RadPerCountRA));
    EXPECT_TRUE(std::isfinite(ctl::State().RadPerCountDec));
  }
  EXPECT_EQ(ProfileKey(config_.ReadProfile(), "ResRA"), "4000");
  // The Invert box still sets the direction.
  Open([](wsm::Dialog& d) {
    d.SetText(1000, "");
    d.Click(1002);
    d.Click(1);
  });
  EXPECT_EQ(S().ResRA, -4000);
  EXPECT_TRUE(wsm::TheLog().boxes.empty());
}

TEST_F(ConfigDialogTest, PortButtonsReplaceTheFourthCharacterOnly) {
  config_.WriteProfile("[ZazuvUzarDLL]\nCommPort=LPT1\n");
  Open([](wsm::Dialog& d) {
    EXPECT_TRUE(d.Checked(1004));
    d.Click(1006);
    d.Click(1);
  });
  EXPECT_STREQ(S().CommPort, "LPT3");
  EXPECT_EQ(ProfileKey(config_.ReadProfile(), "CommPort"), "LPT3");
  EXPECT_EQ(ctl::State().pending_port_digit, '3');
}

// The buttons run from COM1 to COM4; a port outside them checks none.
TEST_F(ConfigDialogTest, PortOutsideTheButtonsWarnsAndSurvivesOk) {
  for (const char* edge : {"COM1", "COM4"}) {
    config_.WriteProfile(std::string("[ZazuvUzarDLL]\nCommPort=") + edge + "\n");
    Open([&](wsm::Dialog& d) { EXPECT_TRUE(d.Checked(edge[3] == '1' ? 1004 : 1007)) << edge; });
  }
  ASSERT_TRUE(wsm::TheLog().boxes.empty());
  for (const char* port : {"COM5", "COM7"}) {
    config_.WriteProfile(std::string("[ZazuvUzarDLL]\nCommPort=") + port + "\n");
    Open([](wsm::Dialog& d) {
      for (std::uint16_t id : {1004, 1005, 1006, 1007}) EXPECT_FALSE(d.Checked(id)) << id;
      d.Click(1);
    });
  }
  ASSERT_EQ(wsm::TheLog().boxes.size(), 2u);
  const wsm::MessageBoxCall& box = wsm::TheLog().boxes[1];
  EXPECT_EQ(wsm::TheLog().boxes[0].text, box.text);
  EXPECT_EQ(box.text, "Invalid comm port setting");
  EXPECT_EQ(box.caption, "Configuration Error");
  EXPECT_EQ(box.style, 0x1000u | 0x30u);
  EXPECT_EQ(box.owner, wsm::TheBehaviour().focus);
  EXPECT_STREQ(S().CommPort, "COM7");
  EXPECT_EQ(ProfileKey(config_.ReadProfile(), "CommPort"), "COM7");
}

TEST_F(ConfigDialogTest, ChosenPortIsForgottenAfterCancel) {
  config_.WriteProfile("[ZazuvUzarDLL]\nCommPort=COM2\n");
  Open([](wsm::Dialog& d) {
    d.Click(1006);
    d.Click(2);
  });
  EXPECT_STREQ(S().CommPort, "COM2");
  Open([](wsm::Dialog& d) {
    EXPECT_TRUE(d.Checked(1005));
    EXPECT_FALSE(d.Checked(1006));
    d.Click(1);
  });
  EXPECT_STREQ(S().CommPort, "COM2");
  EXPECT_EQ(ProfileKey(config_.ReadProfile(), "CommPort"), "COM2");
}

TEST_F(ConfigDialogTest, PortNameTooShortForADigitBecomesTheChosenPort) {
  config_.WriteProfile("[ZazuvUzarDLL]\nCommPort=CO\n");
  Open([](wsm::Dialog& d) { d.Click(1); });
  EXPECT_EQ(wsm::TheLog().boxes.size(), 1u) << "no fourth character: the warning";
  EXPECT_STREQ(S().CommPort, "CO");
  Open([](wsm::Dialog& d) {
    d.Click(1005);
    d.Click(1);
  });
  EXPECT_STREQ(S().CommPort, "COM2");
  EXPECT_EQ(ProfileKey(config_.ReadProfile(), "CommPort"), "COM2");
}

TEST_F(ConfigDialogTest, StatusAndMountAreWrittenBackAsShown) {
  config_.WriteProfile("[ZazuvUzarDLL]\nPCode=OFF\nMountType=AA\n");
  Open([](wsm::Dialog& d) { d.Click(1); });
  EXPECT_EQ(S().PCode, 0);
  EXPECT_EQ(S().MountType, 1);
  EXPECT_EQ(ProfileKey(config_.ReadProfile(), "PCode"), "OFF");
  EXPECT_EQ(ProfileKey(config_.ReadProfile(), "MountType"), "AA");
  Open([](wsm::Dialog& d) {
    d.Click(1020);
    d.Click(1021);
    EXPECT_FALSE(d.Checked(1014));
    EXPECT_FALSE(d.Checked(1022));
    d.Click(1);
  });
  EXPECT_EQ(S().PCode, 1);
  EXPECT_EQ(S().MountType, 0);
  EXPECT_EQ(ProfileKey(config_.ReadProfile(), "PCode"), "ON");
  EXPECT_EQ(ProfileKey(config_.ReadProfile(), "MountType"), "EQ");
}

// "Mount model" shows PointModel and sets it; only the exact MOUNT loads as
// the mount model, a missing key as AXES.
TEST_F(ConfigDialogTest, MountModelBoxShowsAndSetsThePointModel) {
  struct Row {
    const char* stored;
    bool shown;
    bool click;
    const char* saved;
  };
  for (const Row& row :
       {Row{"", false, true, "MOUNT"}, Row{"PointModel=MOUNT\n", true, true, "AXES"},
        Row{"PointModel=mount\n", false, false, "AXES"},
        Row{"PointModel=MOUNT\n", true, false, "MOUNT"}}) {
    SCOPED_TRACE(row.stored);
    config_.WriteProfile(std::string("[ZazuvUzarDLL]\n") + row.stored);
    Open([&](wsm::Dialog& d) {
      EXPECT_EQ(d.Checked(1023), row.shown);
      if (row.click) d.Click(1023);
      d.Click(1);
    });
    EXPECT_EQ(ProfileKey(config_.ReadProfile(), "PointModel"), row.saved);
    EXPECT_EQ(S().PointModel == ctl::kMountModel, std::string(row.saved) == "MOUNT");
  }
}

TEST_F(ConfigDialogTest, NegativeDeclinationFieldsStoreAndShowAgain) {
  Open([](wsm::Dialog& d) {
    d.SetText(1017, "-9");
    d.SetText(1018, "30");
    d.SetText(1019, "00");
    d.Click(1);
  });
  EXPECT_EQ(S().RefDec, -0.16580627893946132);
  EXPECT_EQ(ProfileKey(config_.ReadProfile(), "RefDec"), "-0.16580627894");
  Open([](wsm::Dialog& d) {
    EXPECT_EQ(d.Text(1017), "-9");
    EXPECT_EQ(d.Text(1018), "30");
    EXPECT_EQ(d.Text(1019), "00");
    d.SetText(1017, "09");
    d.Click(1);
  });
  EXPECT_NEAR(S().RefDec, 0.16580627893946132, 1e-15);
}

TEST_F(ConfigDialogTest, ReferenceFieldsReadTheirLeadingInteger) {
  Open([](wsm::Dialog& d) {
    d.SetText(1013, "2.7");
    d.SetText(1015, "letters");
    d.SetText(1016, "  5s");
    d.Click(1);
  });
  EXPECT_EQ(S().RefRA, ctl::HMSToRadians(2, 0, 5));
  // Out-of-range minutes simply add up; a number beyond 16 bits is held at the end.
  Open([](wsm::Dialog& d) {
    d.SetText(1017, "+1");
    d.SetText(1018, "75");
    d.SetText(1019, "99999");
    d.Click(1);
  });
  EXPECT_EQ(S().RefDec, ctl::DMSToRadians(1, 75, 32767));
}

TEST_F(ConfigDialogTest, ValueBetweenMinusOneAndZeroKeepsItsSign) {
  config_.WriteProfile("[ZazuvUzarDLL]\nRefDec=-0.00872664626\n");  // -0.5 degrees
  Open([](wsm::Dialog& d) {
    EXPECT_EQ(d.Text(1017), "-00");
    EXPECT_EQ(d.Text(1018), "30");
    EXPECT_EQ(d.Text(1019), "00");
    d.Click(1);
  });
  EXPECT_EQ(S().RefDec, -0.00872664626);
  EXPECT_EQ(ProfileKey(config_.ReadProfile(), "RefDec"), "-0.00872664626");
  // Typed by hand: "-00 45 00" is -0.75 degrees, "-0" the same sign.
  Open([](wsm::Dialog& d) {
    d.SetText(1018, "45");
    d.Click(1);
  });
  EXPECT_DOUBLE_EQ(S().RefDec, -0.75 * kPi / 180.0);
  Open([](wsm::Dialog& d) {
    d.SetText(1013, " -0");
    d.SetText(1015, "20");
    d.SetText(1016, "00");
    d.Click(1);
  });
  EXPECT_DOUBLE_EQ(S().RefRA, -(20.0 / 60.0) * kPi / 12.0);
}

TEST_F(ConfigDialogTest, UneditedOkTwiceLeavesTheReferencePoint) {
  config_.WriteProfile("[ZazuvUzarDLL]\nRefRA=0.66577765979\nRefDec=1.55817662667\n");
  for (int i = 0; i < 2; ++i) Open([](wsm::Dialog& d) { d.Click(1); });
  EXPECT_EQ(S().RefRA, 0.66577765979);
  EXPECT_EQ(S().RefDec, 1.55817662667);
  const std::string profile = config_.ReadProfile();
  EXPECT_EQ(ProfileKey(profile, "RefRA"), "0.66577765979");
  EXPECT_EQ(ProfileKey(profile, "RefDec"), "1.55817662667");
  // Editing one group reads that group back from its fields; the other keeps its value.
  Open([](wsm::Dialog& d) {
    d.SetText(1016, "35");  // the same text typed again counts as unedited
    d.SetText(1018, "10");
    d.Click(1);
  });
  EXPECT_EQ(S().RefRA, 0.66577765979);
  EXPECT_EQ(S().RefDec, ctl::DMSToRadians(89, 10, 36));
}

TEST_F(ConfigDialogTest, DialogThatCannotBeCreatedReportsAndSavesWhatWasRead) {
  config_.WriteProfile("[ZazuvUzarDLL]\nResRA=1234\nPCode=OFF\n");
  wsm::TheBehaviour().dialog_create_fails = true;
  wsm::TheBehaviour().dialog_error = 1813;
  DoOperation(23, 0);
  ASSERT_EQ(wsm::TheLog().boxes.size(), 1u);
  const wsm::MessageBoxCall& box = wsm::TheLog().boxes[0];
  EXPECT_EQ(box.text, "Error in dialog box: 1813.");
  EXPECT_EQ(box.caption, "Dialog Box Error");
  EXPECT_EQ(box.style, 0x1000u | 0x10u);
  EXPECT_EQ(S().ResRA, 1234);
  const std::string profile = config_.ReadProfile();
  EXPECT_EQ(ProfileKey(profile, "ResRA"), "1234");
  EXPECT_EQ(ProfileKey(profile, "ResDec"), "8192");
  EXPECT_EQ(ProfileKey(profile, "PCode"), "OFF");
}

TEST_F(ConfigDialogTest, UnsetModuleInstanceIsLookedUpByName) {
  const plat::Handle kept = ctl::State().module_instance;
  ctl::State().module_instance = plat::kInvalidHandle;
  ctl::OpenConfigDialog();
  EXPECT_EQ(ctl::State().module_instance, plat::ModuleHandleByName("controller.plug"));
  ctl::State().module_instance = 0x1234;
  ctl::OpenConfigDialog();
  EXPECT_EQ(ctl::State().module_instance, 0x1234u) << "a recorded instance stays";
  ctl::State().module_instance = kept;
}

TEST_F(ConfigDialogTest, ProcedureAnswersOnlyItsOwnMessages) {
  EXPECT_EQ(ctl::ConfigDialogProc(0xD1A1, 0x0111, 1000, 0), 0);  // an edit's notification
  EXPECT_EQ(ctl::ConfigDialogProc(0xD1A1, 0x0111, 65535, 0), 0);
  EXPECT_EQ(ctl::ConfigDialogProc(0xD1A1, 0x000F, 1, 0), 0);  // any other message
}

}  // namespace
