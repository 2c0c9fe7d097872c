// The profile when the file system is against it: the real Controller.plug,
// its configuration dialog (operation 23) and the real profile file.  Each
// test is named for what the user sees.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "dsc_sim.h"
#include "plugin_loader.h"
#include "temp_config.h"
#include "test_blocks.h"
#include "window_system_model.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kProfile =
    "; kept by hand\n[Other]\nKey=1\n\n[ZazuvUzarDLL]\nResRA=4096\nResDec=4096\nCommPort=COM1\n"
    "RefRA=0.66577765979\nRefDec=1.55817662667\nMountType=EQ\nPCode=ON\n\n[Last]\nx=y\n";

class ProfileFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    wsm::Reset();
    ASSERT_TRUE(plugin_.Loaded()) << plugin_.Error();
  }
  // Operation 23, typing a resolution of 1024 for the first axis before OK.
  // Returns the first axis's resolution and Invert box as the dialog showed
  // them.
  std::pair<std::string, bool> DialogSettingResolution(
      const std::function<void()>& meanwhile = {}) {
    std::pair<std::string, bool> shown;
    wsm::SetDialogScript([&](wsm::Dialog& dialog) {
      shown = {dialog.Text(1000), dialog.Checked(1002)};
      dialog.SetText(1000, "1024");
      if (meanwhile) meanwhile();
      dialog.Click(1);
    });
    plugin_.Call(23, 0);
    return shown;
  }
  // What the next dialog shows: the settings as the plug-in loads them.
  std::pair<std::string, bool> Shown() {
    std::pair<std::string, bool> shown;
    wsm::SetDialogScript([&](wsm::Dialog& dialog) {
      shown = {dialog.Text(1000), dialog.Checked(1002)};
      dialog.Click(2);
    });
    plugin_.Call(23, 0);
    return shown;
  }
  // The settings in memory at work: a reading of the counts 256 and 0 from
  // the simulated box is a quarter turn from the reference point with 1024
  // counts a turn.
  bool ReadsWithResolution1024() {
    dscsim::Box box;
    if (!box.Start()) return false;
    config_.LinkPort("COM1", box.SlavePath());
    box.SetCounts(256, 0);
    plugin_.Call(26, 0);
    std::vector<std::uint8_t> record(400, 0);
    plugin_.Call(21, record);
    plugin_.Call(27, 0);
    return std::fabs(testhost::GetF64(record, 8) - (0.66577765979 + 3.141592653589793 / 2)) < 1e-9;
  }
  // The one box after an OK whose settings the profile did not take.
  static void ExpectOneSaveFailedBox(const std::string& file, const std::string& reason) {
    ASSERT_EQ(wsm::TheLog().boxes.size(), 1u);
    const wsm::MessageBoxCall& box = wsm::TheLog().boxes[0];
    EXPECT_EQ(box.caption, "Settings Not Saved");
    EXPECT_EQ(box.text, "The settings could not be saved in " + file + ":\n" + reason +
                            "\n\nThey stay in force until the program is closed.");
    EXPECT_EQ(box.style, 0x1030u) << "warning, system-modal";
  }
  static std::string Key(const std::string& profile, const char* key) {
    return testsupport::ProfileKey(profile, key);
  }

  testsupport::TempConfigDir config_;
  testhost::Plugin plugin_;
};

TEST_F(ProfileFaults, AReadOnlyProfileIsLeftExactlyAsItWas) {
  config_.WriteProfile(kProfile);
  ASSERT_EQ(chmod(config_.Profile().c_str(), 0444), 0);
  DialogSettingResolution();
  EXPECT_EQ(config_.ReadProfile(), kProfile);
  EXPECT_EQ(fs::status(config_.Profile()).permissions(), fs::perms(0444));
  EXPECT_EQ(fs::directory_iterator(config_.Path())->path(), config_.Profile()) << "nothing else";
  ExpectOneSaveFailedBox(config_.Profile().string(), "Permission denied");
  EXPECT_TRUE(ReadsWithResolution1024()) << "the settings in memory are the dialog's";
  // The next dialog shows what was chosen, not the profile's older values.
  EXPECT_EQ(Shown(), std::make_pair(std::string("1024"), false));
}

// A configuration folder that cannot be made (its parent is a file): the
// user is told once per OK, and the values chosen stay in force.
TEST_F(ProfileFaults, SettingsThatCannotBeSavedAreToldOncePerOkAndKeptForTheSession) {
  const fs::path file = config_.Path() / "file";
  std::ofstream(file) << "not a folder";
  const fs::path folder = file / "velastra";
  setenv("VELASTRA_CONFIG_DIR", folder.c_str(), 1);
  DialogSettingResolution();
  ExpectOneSaveFailedBox((folder / "win.ini").string(), "Not a directory");
  wsm::Reset();
  EXPECT_EQ(Shown(), std::make_pair(std::string("1024"), false)) << "kept in force";
  EXPECT_TRUE(wsm::TheLog().boxes.empty()) << "Cancel changed nothing the user chose";
  testhost::Register(plugin_);
  EXPECT_EQ(Shown(), std::make_pair(std::string("1024"), false)) << "registering again keeps it";
  DialogSettingResolution();
  EXPECT_EQ(wsm::TheLog().boxes.size(), 1u) << "told again at the next OK";
}

TEST_F(ProfileFaults, AProfileThatIsAFolderIsLeftAloneAndTheDialogShowsTheDefaults) {
  fs::create_directory(config_.Profile());
  const auto shown = DialogSettingResolution();
  EXPECT_EQ(shown.first, "4096");
  EXPECT_TRUE(fs::is_directory(config_.Profile()));
  EXPECT_TRUE(fs::is_empty(config_.Profile()));
  EXPECT_EQ(std::distance(fs::directory_iterator(config_.Path()), fs::directory_iterator()), 1);
  EXPECT_TRUE(ReadsWithResolution1024()) << "the settings in memory are the dialog's";
}

TEST_F(ProfileFaults, AMissingConfigurationFolderIsMadeAndTheSettingsSaved) {
  fs::remove_all(config_.Path());
  DialogSettingResolution();
  const std::string profile = config_.ReadProfile();
  EXPECT_EQ(Key(profile, "ResRA"), "1024");
  EXPECT_EQ(Shown(), std::make_pair(std::string("1024"), false));
}

TEST_F(ProfileFaults, AFolderThatVanishesWhileTheDialogIsOpenIsMadeAgainWithTheSettings) {
  config_.WriteProfile(kProfile);
  DialogSettingResolution([this] { fs::remove_all(config_.Path()); });
  const std::string profile = config_.ReadProfile();
  EXPECT_EQ(Key(profile, "ResRA"), "1024");
  EXPECT_EQ(Key(profile, "ResDec"), "4096") << "what was loaded before it vanished";
  EXPECT_EQ(Key(profile, "PCode"), "ON");
  EXPECT_EQ(Shown(), std::make_pair(std::string("1024"), false));
}

TEST_F(ProfileFaults, AByteOrderMarkAndCrLfLineEndsAreReadAndKept) {
  const std::string bom = "\xEF\xBB\xBF";
  config_.WriteProfile(bom +
                       "[ZazuvUzarDLL]\r\nResRA=-2048\r\nResDec=4096\r\n; a note\r\n\r\n"
                       "[Other]\r\nKey=1\r\n");
  const auto shown = DialogSettingResolution();
  EXPECT_EQ(shown, std::make_pair(std::string("2048"), true)) << "the section was found";
  const std::string profile = config_.ReadProfile();
  EXPECT_EQ(profile.substr(0, 3), bom);
  EXPECT_EQ(profile.find("[ZazuvUzarDLL]", 3), 3u) << "no second section was added";
  EXPECT_NE(profile.find("ResRA=-1024\r\n"), std::string::npos);
  EXPECT_NE(profile.find("; a note\r\n\r\n[Other]\r\nKey=1\r\n"), std::string::npos);
  EXPECT_EQ(profile.find("\n\n"), std::string::npos) << "every line end stays CR LF";
}

}  // namespace
