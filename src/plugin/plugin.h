// Host plug-in interface: entry point and dispatch, registration, counted
// strings, messages by id, host time, position reports and menu commands.
#pragma once

#include <cstdint>

#include "state/state.h"

#if defined(_WIN32)
#define CONTROLLER_EXPORT extern "C" __declspec(dllexport)
#else
#define CONTROLLER_EXPORT extern "C" __attribute__((visibility("default")))
#endif

CONTROLLER_EXPORT std::int16_t DoOperation(std::uint32_t selector, std::uintptr_t parameter);

namespace ctl {

// Operation selectors.
enum Operation : std::uint32_t {
  kOpRegister = 0,
  kOpSetDebugWindow = 2,
  kOpPeriodicUpdate = 8,
  kOpBuildObjectMenu = 14,
  kOpObjectMenuCommand = 15,
  kOpTelescopeObject = 21,
  kOpMenuItemState = 22,
  kOpConfigure = 23,
  kOpMessage500 = 24,
  kOpMessage501 = 25,
  kOpConnect = 26,
  kOpDisconnect = 27,
  kOpToggleReporting = 28,
  kOpMessage504 = 29,
  kOpCalibrate = 30,
  kOpSetTime = 34,
  kOpSetDebugWindowToo = 38,
  kOpSetHostContext = 39,
  kOpLast = 39,
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
