// The host's window system: what the ws_ functions of the host ABI do in this
// program.  Message boxes appear in the terminal, menus are kept as data, the
// configuration dialog is a form in the terminal, and the debug window is an
// in-memory picture that can be saved as PNG.
#pragma once

#include <velastra/host_abi.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "canvas.h"
#include "console.h"

namespace host {

struct MessageBoxRecord {
  std::string caption;
  std::string text;
  std::uint32_t style = 0;
};

struct MenuEntry {
  std::uint32_t flags = 0;
  std::uint32_t id = 0;
  std::string text;
  bool separator() const { return (flags & WS_MF_SEPARATOR) != 0; }
};

// One control of a running dialog.
struct DialogControl {
  std::uint16_t id = 0;
  std::uint16_t kind = 0;
  std::string text;
  int x = 0, y = 0, width = 0, height = 0;
  std::uint32_t style = 0;
  bool checked = false;
  int group = -1;  // radio group, the index of its first button
  char key = 0;    // the key the form offers for it; 0 for labels and frames
  bool interactive() const {
    return kind >= WS_CONTROL_PUSHBUTTON && kind <= WS_CONTROL_AUTORADIOBUTTON;
  }
};

struct Dialog {
  ws_Handle handle = 0;
  std::string caption;
  int width = 0, height = 0;
  std::vector<DialogControl> controls;
  ws_DialogProc proc = nullptr;
  bool ended = false;
  intptr_t result = 0;

  DialogControl* Find(int id);
  // What a click does: an automatic check box toggles, an automatic radio
  // button checks itself and clears its group, then the procedure gets
  // WM_COMMAND with the control's id.
  void Click(DialogControl& control);
  void Command(int id);
};

// Icon text of a message box style: "error", "warning", "information" or "".
std::string IconName(std::uint32_t style);

class WindowSystem {
 public:
  static constexpr ws_Handle kMainWindow = 0x10;
  static constexpr ws_Handle kDebugWindow = 0x20;

  void Attach(Console* console, TextRenderer* text) { console_ = console, text_ = text; }
  Console* console() { return console_; }
  TextRenderer* text() { return text_; }

  // ---- Message boxes
  int ShowMessageBox(ws_Handle owner, const char* text, const char* caption, std::uint32_t style);
  const std::vector<MessageBoxRecord>& boxes() const { return boxes_; }
  // While quiet, boxes are logged and kept but not printed.
  void SetQuiet(bool quiet) { quiet_ = quiet; }
  // A person at a link failure box ("Failed to send Q command.", once a
  // second while reports run against an unplugged box) may choose, with one
  // key, to stop the reports or disconnect; the host does it once the
  // plug-in's operation has returned.
  enum class LinkAction { kNone, kStopReports, kDisconnect };
  LinkAction TakeLinkAction() { return std::exchange(link_action_, LinkAction::kNone); }

  // ---- Menus
  ws_Handle CreateMenu();
  bool Append(ws_Handle menu, std::uint32_t flags, std::uint32_t id, const char* text);
  const std::vector<MenuEntry>* Menu(ws_Handle menu) const;
  void DestroyMenu(ws_Handle menu) { menus_.erase(menu); }

  // ---- The debug window and its page
  void CreateDebugWindow(int width, int height);
  Canvas* page() { return page_ ? page_.get() : nullptr; }
  bool visible(ws_Handle window) const { return window == kDebugWindow && page_ && page_visible_; }
  void SetPageVisible(bool visible) { page_visible_ = visible; }
  int pages_drawn() const { return pages_drawn_; }

  // ---- Drawing (the GDI subset)
  ws_Handle GetDC(ws_Handle window);
  bool ReleaseDC(ws_Handle window, ws_Handle dc);
  ws_Handle CreateFont(int height, int width, const char* face);
  ws_Handle StockObject(int which);
  ws_Handle Select(ws_Handle dc, ws_Handle object);
  bool DeleteObject(ws_Handle object);
  std::uint32_t SetBkColor(ws_Handle dc, std::uint32_t colour);
  std::uint32_t SetTextColor(ws_Handle dc, std::uint32_t colour);
  bool MoveTo(ws_Handle dc, int x, int y);
  bool LineTo(ws_Handle dc, int x, int y);
  bool TextOut(ws_Handle dc, int x, int y, const char* text, int length);

  // ---- Dialogs
  intptr_t RunDialog(const ws_DialogTemplate* dialog, ws_Handle owner, ws_DialogProc proc);
  Dialog* FindDialog(ws_Handle handle);
  std::uint32_t last_error() const { return last_error_; }
  // Scripted answers for dialogs: lines given here are used before the console's.
  void QueueDialogInput(std::vector<std::string> lines) { dialog_input_ = std::move(lines); }
  std::optional<std::string> NextDialogLine();

 private:
  struct Object {
    enum Kind { kFont, kPen } kind = kFont;
    FontSpec font;
    bool stock = false;
  };
  struct Dc {
    ws_Handle window = 0;
    std::uint32_t text_colour = 0x000000;
    std::uint32_t bk_colour = 0xFFFFFF;
    ws_Handle font = 0;
    ws_Handle pen = 0;
    int x = 0, y = 0;
  };
  Dc* FindDc(ws_Handle dc);
  void EnsureStockObjects();

  Console* console_ = nullptr;
  TextRenderer* text_ = nullptr;
  bool quiet_ = false;
  LinkAction link_action_ = LinkAction::kNone;
  std::vector<MessageBoxRecord> boxes_;
  std::map<ws_Handle, std::vector<MenuEntry>> menus_;
  ws_Handle next_menu_ = 0x1000;
  std::unique_ptr<Canvas> page_;
  bool page_visible_ = true;
  int pages_drawn_ = 0;
  std::map<ws_Handle, Dc> dcs_;
  ws_Handle next_dc_ = 0x2000;
  std::map<ws_Handle, Object> objects_;
  ws_Handle next_object_ = 0x3000;
  ws_Handle system_font_ = 0, black_pen_ = 0, white_pen_ = 0;
  std::vector<std::unique_ptr<Dialog>> dialogs_;  // nested modal dialogs, innermost last
  ws_Handle next_dialog_ = 0x5000;
  std::uint32_t last_error_ = 0;
  std::vector<std::string> dialog_input_;
};

// The one window system of the process, which the ws_ functions use.
WindowSystem& Ws();

}  // namespace host
