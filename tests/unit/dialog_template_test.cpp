// Dialog resource 101 as the window system receives it.
#include <gtest/gtest.h>

#include <string>

#include "plugin/resources.h"

namespace {

constexpr std::uint32_t kChildVisible = 0x50000000;  // WS_CHILD | WS_VISIBLE
constexpr std::uint32_t kTabStop = 0x00010000;
constexpr std::uint32_t kGroup = 0x00020000;
constexpr std::uint32_t kBorder = 0x00800000;
constexpr std::uint32_t kAutoHScroll = 0x80;

struct Expected {
  std::uint16_t id;
  plat::ControlKind kind;
  const char* text;
  int x, y, w, h;
};

using K = plat::ControlKind;
const Expected kControls[30] = {
    {1, K::DefPushButton, "OK", 179, 101, 46, 14},
    {2, K::PushButton, "Cancel", 179, 119, 46, 14},
    {1000, K::Edit, "", 81, 18, 54, 14},
    {1001, K::Edit, "", 81, 36, 54, 14},
    {1003, K::AutoCheckBox, "Invert", 139, 36, 32, 14},
    {1002, K::AutoCheckBox, "Invert", 139, 18, 32, 14},
    {65535, K::Static, "RA/Az Resolution", 15, 18, 61, 14},
    {65535, K::Static, "Dec/Alt Resolution", 15, 36, 61, 14},
    {65535, K::GroupBox, "Encoder Settings", 7, 7, 168, 49},
    {1004, K::AutoRadioButton, "COM1", 186, 17, 38, 16},
    {1005, K::AutoRadioButton, "COM2", 186, 33, 38, 16},
    {1006, K::AutoRadioButton, "COM3", 186, 49, 38, 16},
    {1007, K::AutoRadioButton, "COM4", 186, 65, 38, 16},
    {65535, K::GroupBox, "Port Select", 179, 7, 46, 79},
    {65535, K::GroupBox, "Reference Point", 7, 59, 168, 48},
    {1013, K::Edit, "", 75, 70, 20, 14},
    {65535, K::Static, "Right Ascension", 16, 73, 57, 8},
    {65535, K::Static, "Declination", 16, 89, 57, 8},
    {1015, K::Edit, "", 99, 70, 20, 14},
    {1016, K::Edit, "", 123, 70, 20, 14},
    {1017, K::Edit, "", 75, 86, 20, 14},
    {1018, K::Edit, "", 99, 86, 20, 14},
    {1019, K::Edit, "", 123, 86, 20, 14},
    {1014, K::AutoRadioButton, "Off", 19, 123, 25, 10},
    {1020, K::AutoRadioButton, "On", 53, 123, 25, 10},
    {65535, K::GroupBox, "DSC Status", 7, 110, 85, 30},
    {1021, K::AutoRadioButton, "EQ", 105, 123, 26, 10},
    {1022, K::AutoRadioButton, "AA", 139, 123, 25, 10},
    {65535, K::GroupBox, "Mount Type", 91, 110, 85, 30},
    {1023, K::AutoCheckBox, "Mount model", 177, 88, 53, 10},
};

TEST(DialogTemplateTest, CaptionFontSizeAndFrame) {
  const plat::DialogTemplate* dialog = res::FindDialog(101);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->id, 101);
  EXPECT_STREQ(dialog->caption, "Configure Telescope (QRT Plugin V2.1)");
  EXPECT_STREQ(dialog->font, "MS Sans Serif");
  EXPECT_EQ(dialog->point_size, 8);
  EXPECT_EQ(dialog->width, 232);
  EXPECT_EQ(dialog->height, 148);
  // WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME
  EXPECT_EQ(dialog->style, 0x80000000u | 0x00C00000u | 0x00080000u | 0x80u);
  EXPECT_EQ(res::FindDialog(100), nullptr);
  EXPECT_EQ(res::FindDialog(102), nullptr);
}

TEST(DialogTemplateTest, ThirtyControlsInTemplateOrder) {
  const plat::DialogTemplate* dialog = res::FindDialog(101);
  ASSERT_NE(dialog, nullptr);
  ASSERT_EQ(dialog->count, 30);
  for (int i = 0; i < 30; ++i) {
    SCOPED_TRACE("control #" + std::to_string(i));
    const plat::DialogControl& c = dialog->controls[i];
    const Expected& e = kControls[i];
    EXPECT_EQ(c.id, e.id);
    EXPECT_EQ(c.kind, e.kind);
    EXPECT_STREQ(c.text, e.text);
    EXPECT_EQ(c.x, e.x);
    EXPECT_EQ(c.y, e.y);
    EXPECT_EQ(c.width, e.w);
    EXPECT_EQ(c.height, e.h);
    EXPECT_EQ(c.style & kChildVisible, kChildVisible);
  }
}

TEST(DialogTemplateTest, StylesOfEachKind) {
  const plat::DialogTemplate* dialog = res::FindDialog(101);
  ASSERT_NE(dialog, nullptr);
  for (int i = 0; i < dialog->count; ++i) {
    SCOPED_TRACE("control #" + std::to_string(i));
    const plat::DialogControl& c = dialog->controls[i];
    const std::uint32_t low = c.style & 0xFFFF;
    switch (c.kind) {
      case K::DefPushButton:
        EXPECT_EQ(low, 0x1u);  // BS_DEFPUSHBUTTON
        EXPECT_TRUE(c.style & kTabStop);
        break;
      case K::PushButton:
        EXPECT_EQ(low, 0x0u);
        EXPECT_TRUE(c.style & kTabStop);
        break;
      case K::Edit:
        EXPECT_EQ(low, kAutoHScroll);
        EXPECT_TRUE(c.style & kBorder);
        EXPECT_TRUE(c.style & kTabStop);
        break;
      case K::AutoCheckBox:
        EXPECT_EQ(low, 0x3u);  // BS_AUTOCHECKBOX
        EXPECT_TRUE(c.style & kTabStop);
        break;
      case K::AutoRadioButton:
        EXPECT_EQ(low, 0x9u);  // BS_AUTORADIOBUTTON
        // WS_GROUP and WS_TABSTOP start each of the three groups: COM1, Off, EQ.
        EXPECT_EQ((c.style & kGroup) != 0, c.id == 1004 || c.id == 1014 || c.id == 1021);
        EXPECT_EQ((c.style & kTabStop) != 0, c.id == 1004 || c.id == 1014 || c.id == 1021);
        break;
      case K::Static:
        EXPECT_EQ(low, 0x0u);  // SS_LEFT
        break;
      case K::GroupBox:
        EXPECT_EQ(low, 0x7u);  // BS_GROUPBOX
        EXPECT_FALSE(c.style & kTabStop);
        break;
    }
  }
}

}  // namespace
