// The seven settings through a real profile file.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "fake_platform.h"
#include "plugin/plugin.h"
#include "settings/settings.h"
#include "temp_config.h"
#include "test_blocks.h"
#include "window_system_model.h"

namespace {

class SettingsStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ctl::ResetState();
    wsm::Reset();
  }
  testsupport::TempConfigDir config_;
};

TEST_F(SettingsStoreTest, LibraryLoadValues) {
  const ctl::Settings& s = ctl::State().settings;
  EXPECT_EQ(s.ResRA, 4096);
  EXPECT_EQ(s.ResDec, 4096);
  EXPECT_DOUBLE_EQ(s.RefRA, 0.665777659788);
  EXPECT_DOUBLE_EQ(s.RefDec, 1.55817662667);
  EXPECT_EQ(s.PCode, 1);
  EXPECT_EQ(s.MountType, 0);
  EXPECT_STREQ(s.CommPort, "COM1");
  EXPECT_EQ(s.port, plat::kInvalidHandle);
  EXPECT_EQ(ctl::State().RadPerCountRA, 0.0015339807878856412);
  EXPECT_EQ(ctl::State().RadPerCountDec, 0.0015339807878856412);
}

TEST_F(SettingsStoreTest, MissingSectionLoadsTheDefaults) {
  EXPECT_EQ(ctl::LoadSettings(), 1);
  const ctl::Settings& s = ctl::State().settings;
  EXPECT_EQ(s.ResRA, 4096);
  EXPECT_EQ(s.ResDec, 8192) << "the second axis defaults to 8192 once loaded";
  EXPECT_STREQ(s.CommPort, "COM1");
  EXPECT_EQ(s.RefRA, 0.665777659788);
  EXPECT_EQ(s.RefDec, 1.55817662667);
  EXPECT_EQ(s.MountType, 0);
  EXPECT_EQ(s.PCode, 1);
  EXPECT_EQ(ctl::State().RadPerCountDec, (2.0 * 3.141592653589793) / 8192.0);
}

TEST_F(SettingsStoreTest, EmptyProfileSavesTheEightKeysInTheirFormats) {
  ctl::LoadSettings();
  EXPECT_EQ(ctl::SaveSettings(), 1);
  EXPECT_EQ(config_.ReadProfile(),
            "[ZazuvUzarDLL]\n"
            "ResRA=4096\n"
            "ResDec=8192\n"
            "CommPort=COM1\n"
            "RefRA=0.66577765979\n"
            "RefDec=1.55817662667\n"
            "MountType=EQ\n"
            "PCode=ON\n"
            "PointModel=AXES\n");
}

TEST_F(SettingsStoreTest, OtherSectionsAndCommentsSurviveALoadAndASave) {
  const std::string before =
      "; the user's own notes\n"
      "[windows]\n"
      "load=\n"
      "\n"
      "[ZazuvUzarDLL]\n"
      "; encoder box on the pier\n"
      "ResRA=-4096\n"
      "ResDec=10000\n"
      "CommPort=COM2\n"
      "RefRA=1.00000000000\n"
      "RefDec=0.50000000000\n"
      "MountType=AA\n"
      "PCode=OFF\n"
      "PointModel=MOUNT\n"
      "\n"
      "[Other]\n"
      "key = value with blanks\n";
  config_.WriteProfile(before);
  ctl::LoadSettings();
  const ctl::Settings& s = ctl::State().settings;
  EXPECT_EQ(s.ResRA, -4096);
  EXPECT_LT(ctl::State().RadPerCountRA, 0.0) << "an inverted axis has a negative factor";
  EXPECT_EQ(s.ResDec, 10000);
  EXPECT_STREQ(s.CommPort, "COM2");
  EXPECT_EQ(s.RefRA, 1.0);
  EXPECT_EQ(s.RefDec, 0.5);
  EXPECT_EQ(s.MountType, 1);
  EXPECT_EQ(s.PCode, 0);
  EXPECT_EQ(s.PointModel, ctl::kMountModel);
  ctl::SaveSettings();
  EXPECT_EQ(config_.ReadProfile(), before);
}

TEST_F(SettingsStoreTest, WrongCaseAndLongNamesFollowTheReadingRules) {
  config_.WriteProfile(
      "[ZazuvUzarDLL]\nMountType=aa\nPCode=On\nCommPort=COM10\nResRA=4096abc\nResDec=  -2048 \n"
      "RefRA=1.5e-1xyz\nRefDec=--15\n");  // a second sign is no number
  ctl::LoadSettings();
  const ctl::Settings& s = ctl::State().settings;
  EXPECT_EQ(s.MountType, 0);
  EXPECT_EQ(s.PCode, 0);
  EXPECT_STREQ(s.CommPort, "COM1");
  EXPECT_EQ(s.ResRA, 4096);
  EXPECT_EQ(s.ResDec, -2048);
  EXPECT_DOUBLE_EQ(s.RefRA, 0.15);
  EXPECT_EQ(s.RefDec, 0.0);
  ctl::SaveSettings();
  const std::string saved = config_.ReadProfile();
  EXPECT_NE(saved.find("MountType=EQ\n"), std::string::npos);
  EXPECT_NE(saved.find("PCode=OFF\n"), std::string::npos);
  EXPECT_NE(saved.find("CommPort=COM1\n"), std::string::npos);
  EXPECT_NE(saved.find("RefDec=0.00000000000\n"), std::string::npos);
}

TEST_F(SettingsStoreTest, ZeroResolutionNeverGivesAnInfiniteFactor) {
  config_.WriteProfile("[ZazuvUzarDLL]\nResRA=letters\nResDec=0\n");
  ctl::LoadSettings();
  EXPECT_EQ(ctl::State().settings.ResRA, 4096);
  EXPECT_EQ(ctl::State().settings.ResDec, 8192);
  EXPECT_TRUE(std::isfinite(ctl::State().RadPerCountRA));
  EXPECT_TRUE(std::isfinite(ctl::State().RadPerCountDec));
}

TEST_F(SettingsStoreTest, NonDecimalNumbersDoNotBecomeInfinite) {
  config_.WriteProfile("[ZazuvUzarDLL]\nRefRA=inf\nRefDec=1e999\nResRA=99999999999\n");
  ctl::LoadSettings();
  EXPECT_EQ(ctl::State().settings.RefRA, 0.0);
  EXPECT_EQ(ctl::State().settings.RefDec, 0.0);
  EXPECT_EQ(ctl::State().settings.ResRA, INT32_MAX);
  EXPECT_TRUE(std::isfinite(ctl::State().RadPerCountRA));

  // Out of range with a sign reads as plain 0, which saves without the sign.
  config_.WriteProfile("[ZazuvUzarDLL]\nRefRA=-1e999\nRefDec=-1e-999\n");
  ctl::LoadSettings();
  ctl::SaveSettings();
  const std::string saved = config_.ReadProfile();
  EXPECT_NE(saved.find("RefRA=0.00000000000\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("RefDec=0.00000000000\n"), std::string::npos) << saved;
}

TEST_F(SettingsStoreTest, RegistrationLoadsOnlyForAcceptedHosts) {
  config_.WriteProfile("[ZazuvUzarDLL]\nResRA=1000\n");
  std::vector<std::uint8_t> record(801, 0);
  record[0] = 2;
  DoOperation(0, reinterpret_cast<std::uintptr_t>(record.data()));
  EXPECT_EQ(ctl::State().settings.ResRA, 4096);
  record[0] = 3;
  DoOperation(0, reinterpret_cast<std::uintptr_t>(record.data()));
  EXPECT_EQ(ctl::State().settings.ResRA, 1000);
}

}  // namespace

namespace {

// A host may run in its user's locale.  With a decimal comma in force the
// settings must still read and write with a decimal point.
TEST_F(SettingsStoreTest, DecimalCommaLocaleChangesNothing) {
  const std::filesystem::path locales = config_.Path() / "locales";
  std::filesystem::create_directories(locales);
  const std::string make =
      "localedef -i de_DE -f UTF-8 '" + (locales / "de_DE.UTF-8").string() + "' >/dev/null 2>&1";
  if (std::system(make.c_str()) != 0) GTEST_SKIP() << "localedef cannot make de_DE.UTF-8";
  testsupport::ScopedEnv path("LOCPATH", locales.c_str());
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "no de_DE locale";
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 1.5);
  EXPECT_STREQ(probe, "1,5") << "the locale's decimal comma is in force";

  config_.WriteProfile("[ZazuvUzarDLL]\nRefRA=0.25\nRefDec=1.5e-1\n");
  ctl::LoadSettings();
  const double ra = ctl::State().settings.RefRA;
  const double dec = ctl::State().settings.RefDec;
  ctl::SaveSettings();
  std::setlocale(LC_NUMERIC, "C");
  EXPECT_EQ(ra, 0.25);
  EXPECT_EQ(dec, 0.15);
  const std::string saved = config_.ReadProfile();
  EXPECT_NE(saved.find("RefRA=0.25000000000\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("RefDec=0.15000000000\n"), std::string::npos) << saved;
}

}  // namespace
