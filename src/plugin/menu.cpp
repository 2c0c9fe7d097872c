// The telescope's object menu, its commands and the host's menu item states.
#include <cstdio>

#include "calibration/calibration.h"
#include "link/link.h"
#include "plugin/bytes.h"
#include "plugin/messages.h"
#include "plugin/plugin.h"
#include "plugin/position.h"

namespace ctl {
namespace {

// Object menu block offsets.
constexpr std::size_t kObjectName = VL_OBJECT_NAME;
constexpr std::size_t kObjectRa = VL_OBJECT_RA;
constexpr std::size_t kObjectDec = VL_OBJECT_DEC;
constexpr std::size_t kMenuHandle = VL_OBJECT_MENU_HANDLE;
constexpr std::size_t kCommandId = VL_OBJECT_COMMAND;

enum Command : std::int32_t {
  kCmdAbout = VL_CMD_SEPARATOR,
  kCmdCalibrate = VL_CMD_CALIBRATE,
  kCmdAdd = VL_CMD_ADD,
  kCmdRemove = VL_CMD_REMOVE,
  kCmdSight = VL_CMD_SIGHT,
};

enum MenuItem : std::int32_t {
  kItemConfigure = VL_ITEM_CONFIGURE,
  kItemConnect = VL_ITEM_CONNECT,
  kItemDisconnect = VL_ITEM_DISCONNECT,
  kItemReporting = VL_ITEM_REPORTING,
};

constexpr std::size_t kEnabled = VL_MENU_STATE_ENABLED;
constexpr std::size_t kChecked = VL_MENU_STATE_CHECKED;

}  // namespace

void BuildObjectMenu(const std::uint8_t* block) {
  const plat::Handle menu = bytes::U32(block, kMenuHandle);
  plat::AppendMenu(menu, plat::kMfSeparator, 0, nullptr);
  plat::AppendMenu(menu, plat::kMfString, kCmdAdd, msg::kMenuAdd);
  plat::AppendMenu(menu, plat::kMfString, kCmdRemove, msg::kMenuRemove);
  plat::AppendMenu(menu, plat::kMfString, kCmdSight, msg::kMenuSight);
  plat::AppendMenu(menu, plat::kMfSeparator, 0, nullptr);
  plat::AppendMenu(menu, plat::kMfString, kCmdCalibrate, msg::kMenuCalibrate);
}

void DoObjectMenuCommand(const std::uint8_t* block) {
  PluginState& state = State();
  switch (bytes::I32(block, kCommandId)) {
    case kCmdAbout:
      ShowMessageById(msg::kString504);
      break;
    case kCmdCalibrate:
      if (state.calibration.count < 2) {
        plat::MessageBox(0, msg::kNotEnoughText, msg::kNotEnoughCaption,
                         plat::kMbSystemModal | plat::kMbIconWarning | plat::kMbOk);
      } else {
        CalibrateTelescope();
      }
      break;
    case kCmdAdd: {
      CalibrationEntry entry;
      FromCountedString(entry.name, block + kObjectName);
      entry.sighted = 0;
      entry.catalogue1 = bytes::F64(block, kObjectRa);
      entry.catalogue2 = bytes::F64(block, kObjectDec);
      AddCalibrationEntry(entry);
      break;
    }
    case kCmdRemove: {
      char name[256];
      FromCountedString(name, block + kObjectName);
      RemoveCalibrationEntry(name);
      break;
    }
    case kCmdSight: {
      char name[256];
      FromCountedString(name, block + kObjectName);
      EncoderRecord record;
      bool complete = false;
      // A query that could not send or read has already told the user.  One
      // whose answer came short, or without both fields, holds counts of 0
      // for an axis, not the telescope's position: recording it would spoil
      // the next calibration, so the sighting of a listed object is skipped
      // and the user told why.  An object not on the list gets the list's
      // own refusal, whatever the answer.
      if (!QueryEncoders(record, state.settings, &complete)) break;
      if (!complete && FindCalibrationEntry(name) >= 0) {
        char text[512];
        std::snprintf(text, sizeof text, msg::kNotSightedText, name);
        plat::MessageBox(0, text, msg::kNotSightedCaption,
                         plat::kMbSystemModal | plat::kMbIconWarning | plat::kMbOk);
        break;
      }
      SightCalibrationEntry(name, record.angle1, record.angle2, record.count1, record.count2);
      break;
    }
    default:
      break;
  }
}

void GetMenuItemState(std::uint8_t* block) {
  const PluginState& state = State();
  const std::uint8_t connected = state.connected != 0 ? 1 : 0;
  bytes::PutU8(block, kChecked, 0);
  switch (bytes::I32(block, VL_MENU_STATE_ITEM)) {
    case kItemConfigure:
      bytes::PutU8(block, kEnabled, 1);
      break;
    case kItemConnect:
      bytes::PutU8(block, kEnabled, connected ? 0 : 1);
      break;
    case kItemDisconnect:
      bytes::PutU8(block, kEnabled, connected);
      break;
    case kItemReporting:
      bytes::PutU8(block, kEnabled, connected);
      bytes::PutU8(block, kChecked, state.reporting != 0 ? 1 : 0);
      break;
    case 8201:
    case 8202:
    case 8206:
    case 8207:
      bytes::PutU8(block, kEnabled, 0);
      break;
    default:
      break;
  }
}

void ToggleReporting() {
  PluginState& state = State();
  state.reporting = state.reporting == 0 ? 1 : 0;
}

}  // namespace ctl
