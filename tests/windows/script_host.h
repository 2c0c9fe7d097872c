// A host that reads operations from a script, one command a line, calls the
// plug-in and writes what came back.  velastra.exe (Windows, real user32 and
// gdi32) and script_host (Linux, the recording window system) share it, so
// the same script gives comparable answers on both platforms.
//
// Commands (each answer ends with the line "ok <milliseconds the plug-in took>"):
//   register V            operation 0 with interface version V; prints the record
//   time D                operation 34 with day number D
//   context N             operation 39 with host context N
//   window                a visible 300x200 debug window, handed over by operation 2
//   connect, disconnect   operations 26, 27
//   toggle                operation 28
//   update                operation 8; prints the kind and the report's 19 bytes
//   object N              operation 21 with host context N in the record
//   menu                  operation 14 on a new menu; prints its items
//   state ID              operation 22; prints enabled and checked
//   command ID RA DEC NAME  operation 15
//   calibrate             operation 30
//   message OP            operation 24, 25 or 29
//   configure ACTIONS...  operation 23; the dialog is driven by the actions
//                         text:ID=VALUE, click:ID (ending with click:1 or click:2)
//   colours X Y W H       distinct colours of the debug window's pixels there
//   bench N               N operations 21; prints the mean, least and most ms
//   reenter COMMAND...    COMMAND, calling the plug-in again from within its
//                         first box or dialog; prints "inside ..." lines of
//                         what operations 8, 22, 28, 27, 23 and 0 answered there
//   quit
// Message boxes shown during a command are printed as
//   box CAPTION|TEXT|ICON|MODALITY        (newlines in TEXT as \n)
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace script {

class Platform {
 public:
  virtual ~Platform() = default;
  virtual std::int16_t Call(std::uint32_t selector, std::uintptr_t parameter) = 0;
  // A visible window for the debug page; 0 when none can be had.
  virtual std::uintptr_t NewDebugWindow() = 0;
  // A new empty menu, and its items after the plug-in appended to it
  // ("-" for a separator, "ID:TEXT" for a string item).
  virtual std::uint32_t NewMenu() = 0;
  virtual std::vector<std::string> MenuItems(std::uint32_t menu) = 0;
  // The actions for the next dialog, and what it showed when it opened
  // ("dialog CAPTION" and one "ID=TEXT" or "ID=checked" line per control).
  virtual void ArmDialog(const std::vector<std::string>& actions) = 0;
  virtual std::vector<std::string> TakeDialogLines() = 0;
  // `inside` runs once, from within the next message box's or dialog's
  // modal loop (as a host's timer would); nullptr disarms.
  virtual void ArmReentry(std::function<void()> inside) = 0;
  // Message boxes since the last call, already dismissed with OK.
  virtual std::vector<std::string> TakeBoxes() = 0;
  // "RRGGBB:count ..." of the debug window's pixels in a rectangle.
  virtual std::string Colours(int x, int y, int width, int height) = 0;
};

// Runs commands from `in` until "quit" or the end; answers on `out`.
int Run(Platform& platform, std::FILE* in, std::FILE* out);

// The box line of a message box, in the form both platforms print.
std::string BoxLine(const std::string& caption, const std::string& text, std::uint32_t style);

}  // namespace script
