// Dialog resource 101: the configuration dialog's template, the one table
// that both the Windows resource and the Linux window system present.
// Coordinates and sizes are dialog units; styles are the Win32 bits a
// resource compiler gives each control statement.
#include "settings/dialog_resource.h"

#include "settings/messages.h"

namespace res {
namespace {

using plat::ControlKind;
using plat::DialogControl;
using namespace ctl::msg;

// Window styles.
constexpr std::uint32_t kWsPopup = 0x80000000;
constexpr std::uint32_t kWsChild = 0x40000000;
constexpr std::uint32_t kWsVisible = 0x10000000;
constexpr std::uint32_t kWsCaption = 0x00C00000;
constexpr std::uint32_t kWsBorder = 0x00800000;
constexpr std::uint32_t kWsSysMenu = 0x00080000;
constexpr std::uint32_t kWsGroup = 0x00020000;
constexpr std::uint32_t kWsTabStop = 0x00010000;
constexpr std::uint32_t kDsModalFrame = 0x80;
// Button, edit and static styles.
constexpr std::uint32_t kBsPushButton = 0x0;
constexpr std::uint32_t kBsDefPushButton = 0x1;
constexpr std::uint32_t kBsAutoCheckBox = 0x3;
constexpr std::uint32_t kBsGroupBox = 0x7;
constexpr std::uint32_t kBsAutoRadioButton = 0x9;
constexpr std::uint32_t kEsLeft = 0x0;
constexpr std::uint32_t kEsAutoHScroll = 0x80;
constexpr std::uint32_t kSsLeft = 0x0;

constexpr std::uint32_t kChild = kWsChild | kWsVisible;
// DEFPUSHBUTTON, PUSHBUTTON, EDITTEXT, AUTOCHECKBOX, AUTORADIOBUTTON, LTEXT, GROUPBOX.
constexpr std::uint32_t kDefPush = kChild | kWsTabStop | kBsDefPushButton;
constexpr std::uint32_t kPush = kChild | kWsTabStop | kBsPushButton;
constexpr std::uint32_t kEdit = kChild | kWsTabStop | kWsBorder | kEsLeft | kEsAutoHScroll;
constexpr std::uint32_t kCheck = kChild | kWsTabStop | kBsAutoCheckBox;
constexpr std::uint32_t kRadio = kChild | kBsAutoRadioButton;
// The first button of a radio group starts the group and is its tab stop:
// Tab reaches the group there, and the arrow keys move within it.
constexpr std::uint32_t kFirstRadio = kRadio | kWsGroup | kWsTabStop;
constexpr std::uint32_t kText = kChild | kWsGroup | kSsLeft;
constexpr std::uint32_t kGroupBox = kChild | kBsGroupBox;

constexpr ControlKind kDefPushButton = ControlKind::DefPushButton;
constexpr ControlKind kPushButton = ControlKind::PushButton;
constexpr ControlKind kEditBox = ControlKind::Edit;
constexpr ControlKind kCheckBox = ControlKind::AutoCheckBox;
constexpr ControlKind kRadioButton = ControlKind::AutoRadioButton;
constexpr ControlKind kStatic = ControlKind::Static;
constexpr ControlKind kGroup = ControlKind::GroupBox;

// In template order, which is also the tab order.
constexpr DialogControl kConfigControls[] = {
    {kIdOk, kDefPushButton, kTextOk, 179, 101, 46, 14, kDefPush},
    {kIdCancel, kPushButton, kTextCancel, 179, 119, 46, 14, kPush},
    {kIdResRA, kEditBox, "", 81, 18, 54, 14, kEdit},
    {kIdResDec, kEditBox, "", 81, 36, 54, 14, kEdit},
    {kIdInvertDec, kCheckBox, kTextInvert, 139, 36, 32, 14, kCheck},
    {kIdInvertRA, kCheckBox, kTextInvert, 139, 18, 32, 14, kCheck},
    {kIdStatic, kStatic, kTextResRA, 15, 18, 61, 14, kText},
    {kIdStatic, kStatic, kTextResDec, 15, 36, 61, 14, kText},
    {kIdStatic, kGroup, kTextEncoderSettings, 7, 7, 168, 49, kGroupBox},
    {kIdCom1, kRadioButton, kTextCom1, 186, 17, 38, 16, kFirstRadio},
    {kIdCom2, kRadioButton, kTextCom2, 186, 33, 38, 16, kRadio},
    {kIdCom3, kRadioButton, kTextCom3, 186, 49, 38, 16, kRadio},
    {kIdCom4, kRadioButton, kTextCom4, 186, 65, 38, 16, kRadio},
    {kIdStatic, kGroup, kTextPortSelect, 179, 7, 46, 79, kGroupBox},
    {kIdStatic, kGroup, kTextReferencePoint, 7, 59, 168, 48, kGroupBox},
    {kIdRefRAHours, kEditBox, "", 75, 70, 20, 14, kEdit},
    {kIdStatic, kStatic, kTextRightAscension, 16, 73, 57, 8, kText},
    {kIdStatic, kStatic, kTextDeclination, 16, 89, 57, 8, kText},
    {kIdRefRAMinutes, kEditBox, "", 99, 70, 20, 14, kEdit},
    {kIdRefRASeconds, kEditBox, "", 123, 70, 20, 14, kEdit},
    {kIdRefDecDegrees, kEditBox, "", 75, 86, 20, 14, kEdit},
    {kIdRefDecMinutes, kEditBox, "", 99, 86, 20, 14, kEdit},
    {kIdRefDecSeconds, kEditBox, "", 123, 86, 20, 14, kEdit},
    {kIdStatusOff, kRadioButton, kTextOff, 19, 123, 25, 10, kFirstRadio},
    {kIdStatusOn, kRadioButton, kTextOn, 53, 123, 25, 10, kRadio},
    {kIdStatic, kGroup, kTextDscStatus, 7, 110, 85, 30, kGroupBox},
    {kIdMountEQ, kRadioButton, kTextEQ, 105, 123, 26, 10, kFirstRadio},
    {kIdMountAA, kRadioButton, kTextAA, 139, 123, 25, 10, kRadio},
    {kIdStatic, kGroup, kTextMountType, 91, 110, 85, 30, kGroupBox},
    // Between the port group and OK, clear of the reference point group.
    {kIdPointModel, kCheckBox, kTextPointModel, 177, 88, 53, 10, kCheck},
};

constexpr std::uint16_t kConfigControlCount = sizeof kConfigControls / sizeof kConfigControls[0];
static_assert(kConfigControlCount == 30);

constexpr plat::DialogTemplate kConfigDialog = {
    kConfigDialogId,
    kConfigDialogCaption,
    kConfigDialogFont,
    kConfigDialogPointSize,
    232,
    148,
    kWsPopup | kWsCaption | kWsSysMenu | kDsModalFrame,
    kConfigControlCount,
    kConfigControls,
};

}  // namespace

const plat::DialogTemplate* FindDialog(std::uint16_t id) {
  return id == kConfigDialogId ? &kConfigDialog : nullptr;
}

}  // namespace res
