// Host plug-in interface: entry point and dispatch, registration, counted
// strings, messages by id, host time, position reports and menu commands.
#pragma once

#include <velastra/contract.h>

#include <cstdint>

#include "state/state.h"

#if defined(_WIN32)
#define CONTROLLER_EXPORT extern "C" __declspec(dllexport)
#else
#define CONTROLLER_EXPORT extern "C" __attribute__((visibility("default")))
#endif

CONTROLLER_EXPORT std::int16_t DoOperation(std::uint32_t selector, std::uintptr_t parameter);

namespace ctl {

// Operation selectors (velastra/contract.h).
enum Operation : std::uint32_t {
  kOpRegister = VL_OP_REGISTER,
  kOpSetDebugWindow = VL_OP_SET_DEBUG_WINDOW,
  kOpPeriodicUpdate = VL_OP_PERIODIC_UPDATE,
  kOpBuildObjectMenu = VL_OP_BUILD_OBJECT_MENU,
  kOpObjectMenuCommand = VL_OP_OBJECT_MENU_COMMAND,
  kOpTelescopeObject = VL_OP_TELESCOPE_OBJECT,
  kOpMenuItemState = VL_OP_MENU_ITEM_STATE,
  kOpConfigure = VL_OP_CONFIGURE,
  kOpMessage500 = VL_OP_MESSAGE_500,
  kOpMessage501 = VL_OP_MESSAGE_501,
  kOpConnect = VL_OP_CONNECT,
  kOpDisconnect = VL_OP_DISCONNECT,
  kOpToggleReporting = VL_OP_TOGGLE_REPORTING,
  kOpMessage504 = VL_OP_MESSAGE_504,
  kOpCalibrate = VL_OP_CALIBRATE,
  kOpSetTime = VL_OP_SET_TIME,
  kOpSetDebugWindowToo = VL_OP_SET_DEBUG_WINDOW_TOO,
  kOpSetHostContext = VL_OP_SET_HOST_CONTEXT,
  kOpLast = VL_OP_LAST,
};

// Registration (operation 0).
void RegisterPlugin(std::uint8_t* record);

// Counted strings: a length byte and that many characters.
std::uint8_t* ToCountedString(std::uint8_t* destination, const char* source);
char* FromCountedString(char* destination, const std::uint8_t* source);

// Shows string resource `id` in the "Telescope Controller" box.
void ShowMessageById(std::uint32_t id);

// Host time keeping (operation 34).
void SetHostTime(const std::uint8_t* block);
void AdvanceDayNumber(std::uint32_t tick);

// Position reporting (operations 8 and 21).
void ReportPosition(std::uint8_t* block);
// Answers operation 8 with "no report due" (kind 5, no address) and does
// nothing else.
void AnswerNoPosition(std::uint8_t* block);
void FillTelescopeObject(std::uint8_t* record);

// Menu and commands (operations 14, 15, 22, 28).
void BuildObjectMenu(const std::uint8_t* block);
void DoObjectMenuCommand(const std::uint8_t* block);
void GetMenuItemState(std::uint8_t* block);
void ToggleReporting();

}  // namespace ctl
