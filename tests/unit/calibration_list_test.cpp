// The calibration list, driven the way the host drives it: object menu
// blocks through DoOperation (operation 15).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "calibration/calibration.h"
#include "plugin/bytes.h"
#include "plugin/plugin.h"
#include "temp_config.h"
#include "test_blocks.h"
#include "window_system_model.h"

namespace {

constexpr std::uint32_t kCmdAdd = 20002;
constexpr std::uint32_t kCmdRemove = 20003;

std::vector<std::uint8_t> ObjectBlock(std::uint32_t command, const std::string& name,
                                      double ra = 0.0, double dec = 0.0) {
  return testsupport::ObjectMenuBlock(static_cast<std::int32_t>(command), name, ra, dec, 0xC3);
}

void Command(std::uint32_t command, const std::string& name, double ra = 0.0, double dec = 0.0) {
  auto block = ObjectBlock(command, name, ra, dec);
  DoOperation(15, reinterpret_cast<std::uintptr_t>(block.data()));
}

class CalibrationListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ctl::ResetState();
    wsm::Reset();
    ctl::State().connected = 1;
  }
  void TearDown() override { ctl::ResetState(); }

  static const ctl::CalibrationList& List() { return ctl::State().calibration; }
  static std::vector<wsm::MessageBoxCall>& Boxes() { return wsm::TheLog().boxes; }

  void ExpectOneWarning(const std::string& text, const std::string& caption) {
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, text);
    EXPECT_EQ(Boxes()[0].caption, caption);
    EXPECT_EQ(Boxes()[0].style, 0x30u) << "OK button, warning icon, not system-modal";
    EXPECT_EQ(Boxes()[0].owner, 0u);
    Boxes().clear();
  }

  testsupport::TempConfigDir config_;
};

TEST_F(CalibrationListTest, AddTakesNameAndCataloguePositionFromTheBlock) {
  Command(kCmdAdd, "Vega", 4.873565, 0.676903);
  Command(kCmdAdd, "Deneb", 5.416768, 0.790289);
  ASSERT_EQ(List().count, 2);
  EXPECT_STREQ(List().entries[0].name, "Vega");
  EXPECT_EQ(List().entries[0].sighted, 0);
  EXPECT_EQ(List().entries[0].catalogue1, 4.873565);
  EXPECT_EQ(List().entries[0].catalogue2, 0.676903);
  EXPECT_STREQ(List().entries[1].name, "Deneb");
  EXPECT_EQ(List().entries[1].catalogue1, 5.416768);
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(ctl::FindCalibrationEntry("Deneb"), 1);
  EXPECT_EQ(ctl::FindCalibrationEntry("Altair"), -1);
}

TEST_F(CalibrationListTest, FullListRefusesNewNamesAndDuplicatesAlike) {
  for (int i = 0; i < 8; ++i) Command(kCmdAdd, "Star " + std::to_string(i), i, -i);
  ASSERT_EQ(List().count, 8);
  ctl::SightCalibrationEntry("Star 3", 0.25, 0.5);
  const ctl::CalibrationList before = List();

  Command(kCmdAdd, "Star 8", 9.0, 9.0);
  ExpectOneWarning("Calibration list is full. Delete other objects.", "No More Objects");
  Command(kCmdAdd, "Star 0", 9.0, 9.0);
  ExpectOneWarning("Calibration list is full. Delete other objects.", "No More Objects");

  ctl::CalibrationEntry entry;
  std::strcpy(entry.name, "Star 9");
  EXPECT_EQ(ctl::AddCalibrationEntry(entry), -1);
  Boxes().clear();
  EXPECT_EQ(std::memcmp(&before, &List(), sizeof before), 0) << "the full list changed";
}

TEST_F(CalibrationListTest, DuplicateNameIsRefusedWithItsName) {
  Command(kCmdAdd, "Vega", 1.0, 2.0);
  Command(kCmdAdd, "Vega", 3.0, 4.0);
  ExpectOneWarning("Object Vega is already on list. Select another object.", "Duplicate Object");
  ASSERT_EQ(List().count, 1);
  EXPECT_EQ(List().entries[0].catalogue1, 1.0);
}

TEST_F(CalibrationListTest, NamesCompareCaseSensitively) {
  Command(kCmdAdd, "Vega");
  Command(kCmdAdd, "vega");
  Command(kCmdAdd, "VEGA");
  Command(kCmdAdd, "Vega ");
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(List().count, 4);
  EXPECT_EQ(ctl::FindCalibrationEntry("vega"), 1);
  EXPECT_EQ(ctl::FindCalibrationEntry("VEGA"), 2);
  EXPECT_EQ(ctl::FindCalibrationEntry("vEGA"), -1);
}

TEST_F(CalibrationListTest, AddReturnsTheNewIndex) {
  ctl::CalibrationEntry entry;
  std::strcpy(entry.name, "Altair");
  EXPECT_EQ(ctl::AddCalibrationEntry(entry), 0);
  std::strcpy(entry.name, "Deneb");
  EXPECT_EQ(ctl::AddCalibrationEntry(entry), 1);
}

TEST_F(CalibrationListTest, RemovingTheSecondOfFourKeepsTheOrderOfTheRest) {
  Command(kCmdAdd, "Vega", 0.1, 0.2);
  Command(kCmdAdd, "Deneb", 0.3, 0.4);
  Command(kCmdAdd, "Altair", 0.5, 0.6);
  Command(kCmdAdd, "Albireo", 0.7, 0.8);
  ctl::SightCalibrationEntry("Altair", 1.5, 1.6);
  const ctl::CalibrationEntry third = List().entries[2];
  const ctl::CalibrationEntry fourth = List().entries[3];

  Command(kCmdRemove, "Deneb");
  EXPECT_TRUE(Boxes().empty());
  ASSERT_EQ(List().count, 3);
  EXPECT_STREQ(List().entries[0].name, "Vega");
  EXPECT_EQ(std::memcmp(&List().entries[1], &third, sizeof third), 0);
  EXPECT_EQ(std::memcmp(&List().entries[2], &fourth, sizeof fourth), 0);
  EXPECT_EQ(List().entries[1].sighted, 1);
  EXPECT_EQ(List().entries[1].encoder1, 1.5);
  EXPECT_EQ(List().entries[2].sighted, 0);
  EXPECT_EQ(ctl::RemoveCalibrationEntry("Albireo"), 3) << "the count before the removal";
}

TEST_F(CalibrationListTest, RemovingTheLastEntryThenOneMore) {
  Command(kCmdAdd, "Vega");
  Command(kCmdRemove, "Vega");
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(List().count, 0);
  Command(kCmdRemove, "Vega");
  ExpectOneWarning("Can't delete: calibration list is empty.", "Empty List");
  EXPECT_EQ(ctl::RemoveCalibrationEntry("Vega"), -1);
}

TEST_F(CalibrationListTest, RemovingAnAbsentNameIsRefused) {
  Command(kCmdAdd, "Vega");
  Command(kCmdRemove, "vega");
  ExpectOneWarning("Can't delete: object vega not on list.", "Not Found");
  EXPECT_EQ(List().count, 1);
}

TEST_F(CalibrationListTest, SightingRefusals) {
  EXPECT_EQ(ctl::SightCalibrationEntry("Vega", 1.0, 1.0), -1);
  ExpectOneWarning("Calibration list is empty. Add objects to list.", "Empty List");
  Command(kCmdAdd, "Vega");
  EXPECT_EQ(ctl::SightCalibrationEntry("Rigel", 1.0, 1.0), -1);
  ExpectOneWarning("Object Rigel is not on list. Sight another object or add first.", "Not Found");
  EXPECT_EQ(List().entries[0].sighted, 0);
}

TEST_F(CalibrationListTest, SightingTwiceOnAnEquatorialMountReplacesOnlyTheEncoderPosition) {
  Command(kCmdAdd, "Vega", 4.873565, 0.676903);
  Command(kCmdAdd, "Deneb", 5.416768, 0.790289);
  EXPECT_EQ(ctl::SightCalibrationEntry("Deneb", 5.40, 0.80), 1);
  EXPECT_EQ(ctl::SightCalibrationEntry("Deneb", 5.42, 0.78), 1);
  const ctl::CalibrationEntry& deneb = List().entries[1];
  EXPECT_EQ(deneb.sighted, 1);
  EXPECT_EQ(deneb.encoder1, 5.42);
  EXPECT_EQ(deneb.encoder2, 0.78);
  EXPECT_EQ(deneb.catalogue1, 5.416768);
  EXPECT_EQ(deneb.catalogue2, 0.790289);
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(CalibrationListTest, NamesWithPercentSignsAppearAsTheyAre) {
  const std::string name = "100% %s%n%d %x Cluster";
  Command(kCmdAdd, name);
  Command(kCmdAdd, name);
  ExpectOneWarning("Object " + name + " is already on list. Select another object.",
                   "Duplicate Object");
  Command(kCmdRemove, "%s%s%s%s%n");
  ExpectOneWarning("Can't delete: object %s%s%s%s%n not on list.", "Not Found");
  EXPECT_EQ(ctl::SightCalibrationEntry("%p %f", 0, 0), -1);
  ExpectOneWarning("Object %p %f is not on list. Sight another object or add first.", "Not Found");
  EXPECT_STREQ(List().entries[0].name, name.c_str());
}

TEST_F(CalibrationListTest, LongestNameFitsEveryBox) {
  const std::string name(255, 'N');
  Command(kCmdAdd, name);
  Command(kCmdAdd, name);
  ExpectOneWarning("Object " + name + " is already on list. Select another object.",
                   "Duplicate Object");
  EXPECT_EQ(std::strlen(List().entries[0].name), 255u);
}

TEST_F(CalibrationListTest, NothingWhileNotConnected) {
  ctl::State().connected = 0;
  Command(kCmdAdd, "Vega");
  Command(kCmdRemove, "Vega");
  EXPECT_EQ(List().count, 0);
  EXPECT_TRUE(Boxes().empty());
}

}  // namespace
