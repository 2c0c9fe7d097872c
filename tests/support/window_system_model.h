// A window system for tests: it records every message box, menu append and
// drawing call, and runs modal dialogs from a script.  The test host's ws_
// functions and the unit tests' platform fakes both sit on it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace wsm {

using Handle = std::uintptr_t;

struct MessageBoxCall {
  Handle owner;
  std::string text;
  std::string caption;
  std::uint32_t style;
};

struct MenuAppend {
  Handle menu;
  std::uint32_t flags;
  std::uint32_t id;
  bool has_text;
  std::string text;
};

// One drawing call with the context's state at that moment.
struct DrawCall {
  enum Kind {
    kGetDC,
    kReleaseDC,
    kCreateFont,
    kSelectObject,
    kDeleteObject,
    kStockObject,
    kSetBkColor,
    kSetTextColor,
    kMoveTo,
    kLineTo,
    kTextOut,
  };
  Kind kind;
  Handle dc = 0;
  Handle object = 0;  // window, font, pen
  int x = 0, y = 0;
  std::string text;  // TextOut text, CreateFont face
  std::int32_t font_height = 0, font_width = 0;
  std::uint32_t text_colour = 0;  // for TextOut: the colours in force
  std::uint32_t bk_colour = 0;
  Handle font = 0;  // for TextOut: the font selected
  bool ok = true;
};

// How the window system answers.
struct Behaviour {
  Handle focus = 0x4242;
  std::set<Handle> visible_windows;
  bool get_dc_fails = false;
  bool create_font_fails = false;
  bool text_out_fails = false;
  bool dialog_create_fails = false;
  std::uint32_t dialog_error = 1813;
  int message_box_answer = 1;
  // Runs while each message box is up, as a host's timer runs in the box's
  // modal loop.
  std::function<void(const MessageBoxCall&)> while_box_up;
};

struct DialogControlState {
  std::uint16_t id;
  std::uint16_t kind;  // ws_ control kinds
  std::string text;
  bool checked = false;
  int group = -1;  // radio group number
};

class Dialog;
using DialogScript = std::function<void(Dialog&)>;

// A running modal dialog as the script sees it.
class Dialog {
 public:
  // Text of an edit or any control.
  std::string Text(std::uint16_t id) const;
  void SetText(std::uint16_t id, const std::string& text);  // as the person types
  bool Checked(std::uint16_t id) const;
  // A person's click: automatic check boxes toggle, automatic radio buttons
  // check themselves and clear their group, then the command arrives.
  void Click(std::uint16_t id);
  bool Ended() const { return ended_; }
  std::intptr_t Result() const { return result_; }
  const std::vector<DialogControlState>& Controls() const { return controls_; }

  // Used by the model itself.
  std::vector<DialogControlState> controls_;
  std::function<std::intptr_t(std::uint32_t, std::uintptr_t, std::intptr_t)> send_;
  bool ended_ = false;
  std::intptr_t result_ = 0;
  DialogControlState* Find(std::uint16_t id);
  const DialogControlState* Find(std::uint16_t id) const;
};

struct Log {
  std::vector<MessageBoxCall> boxes;
  std::vector<MenuAppend> menus;
  std::vector<DrawCall> draws;
  int dialogs_opened = 0;
  std::string dialog_caption;
  std::vector<std::string> dialog_texts_at_init;  // "id=text/checked" after WM_INITDIALOG
  Handle dialog_owner = 0;
  // The control that has the keyboard focus once the dialog is up: the first
  // tab stop when WM_INITDIALOG returned nonzero, else none (0).
  std::uint16_t dialog_initial_focus = 0;
};

Log& TheLog();
Behaviour& TheBehaviour();
// The script run for the next dialogs; without one a dialog is cancelled.
void SetDialogScript(DialogScript script);
void Reset();  // log, behaviour and script back to their starting values

// Texts drawn, in order.
std::vector<DrawCall> TextsDrawn();

// The window-system operations, with the ws_ semantics.
int MessageBox(Handle owner, const char* text, const char* caption, std::uint32_t style);
Handle GetFocus();
int AppendMenu(Handle menu, std::uint32_t flags, std::uint32_t id, const char* text);
int IsWindowVisible(Handle window);
Handle GetDC(Handle window);
int ReleaseDC(Handle window, Handle dc);
Handle CreateFont(std::int32_t height, std::int32_t width, const char* face);
Handle GetStockObject(std::int32_t which);
Handle SelectObject(Handle dc, Handle object);
int DeleteObject(Handle object);
std::uint32_t SetBkColor(Handle dc, std::uint32_t colour);
std::uint32_t SetTextColor(Handle dc, std::uint32_t colour);
int MoveTo(Handle dc, int x, int y);
int LineTo(Handle dc, int x, int y);
int TextOut(Handle dc, int x, int y, const char* text, int length);

struct ControlSpec {
  std::uint16_t id;
  std::uint16_t kind;
  const char* text;
  std::uint32_t style;
};
using DialogProcFn = std::intptr_t (*)(Handle, std::uint32_t, std::uintptr_t, std::intptr_t);
std::intptr_t DialogBox(const char* caption, const std::vector<ControlSpec>& controls, Handle owner,
                        DialogProcFn proc);
std::uint32_t GetLastError();
int EndDialog(Handle dialog, std::intptr_t result);
int SetDlgItemText(Handle dialog, int id, const char* text);
std::uint32_t GetDlgItemText(Handle dialog, int id, char* buffer, int size);
int SetDlgItemInt(Handle dialog, int id, std::uint32_t value, int is_signed);
std::uint32_t GetDlgItemInt(Handle dialog, int id, int* translated, int is_signed);
int CheckDlgButton(Handle dialog, int id, std::uint32_t state);
int CheckRadioButton(Handle dialog, int first_id, int last_id, int check_id);
std::uint32_t IsDlgButtonChecked(Handle dialog, int id);

}  // namespace wsm
