#include "window_system_model.h"

#include <velastra/host_abi.h>

#include <algorithm>
#include <cstring>

namespace wsm {
namespace {

constexpr std::uint16_t kAutoRadio = 5;
constexpr std::uint16_t kAutoCheck = 4;
constexpr std::uint32_t kWsGroup = 0x00020000;
constexpr std::uint32_t kWsTabStop = 0x00010000;
constexpr std::uint32_t kWmInitDialog = WS_WM_INITDIALOG;
constexpr std::uint32_t kWmCommand = WS_WM_COMMAND;
constexpr Handle kDialogHandle = 0xD1A1;
constexpr Handle kWhitePen = 0x9E06;

struct DcState {
  Handle window = 0;
  std::uint32_t text_colour = 0x000000;
  std::uint32_t bk_colour = 0xFFFFFF;
  Handle font = 0x5F0;  // the system font of a fresh context
  Handle pen = 0x9E00;
};

Log g_log;
Behaviour g_behaviour;
DialogScript g_script;
std::map<Handle, DcState> g_dcs;
Handle g_next_handle = 0x1000;
Dialog* g_dialog = nullptr;
std::uint32_t g_last_error = 0;

DrawCall Call(DrawCall::Kind kind, Handle dc) {
  DrawCall call{};
  call.kind = kind;
  call.dc = dc;
  return call;
}

}  // namespace

Log& TheLog() { return g_log; }
Behaviour& TheBehaviour() { return g_behaviour; }
void SetDialogScript(DialogScript script) { g_script = std::move(script); }

void Reset() {
  g_log = Log{};
  g_behaviour = Behaviour{};
  g_script = nullptr;
  g_dcs.clear();
  g_dialog = nullptr;
  g_last_error = 0;
}

std::vector<DrawCall> TextsDrawn() {
  std::vector<DrawCall> texts;
  for (const DrawCall& call : g_log.draws) {
    if (call.kind == DrawCall::kTextOut) texts.push_back(call);
  }
  return texts;
}

int MessageBox(Handle owner, const char* text, const char* caption, std::uint32_t style) {
  g_log.boxes.push_back(
      {owner, text != nullptr ? text : "", caption != nullptr ? caption : "", style});
  if (g_behaviour.while_box_up) {
    const MessageBoxCall box = g_log.boxes.back();
    g_behaviour.while_box_up(box);
  }
  return g_behaviour.message_box_answer;
}

Handle GetFocus() { return g_behaviour.focus; }

int AppendMenu(Handle menu, std::uint32_t flags, std::uint32_t id, const char* text) {
  g_log.menus.push_back({menu, flags, id, text != nullptr, text != nullptr ? text : ""});
  return 1;
}

int IsWindowVisible(Handle window) { return g_behaviour.visible_windows.count(window) ? 1 : 0; }

Handle GetDC(Handle window) {
  DrawCall call = Call(DrawCall::kGetDC, 0);
  call.object = window;
  if (g_behaviour.get_dc_fails || !g_behaviour.visible_windows.count(window)) {
    call.ok = false;
    g_log.draws.push_back(call);
    return 0;
  }
  const Handle dc = ++g_next_handle;
  g_dcs[dc] = DcState{window};
  call.dc = dc;
  g_log.draws.push_back(call);
  return dc;
}

int ReleaseDC(Handle window, Handle dc) {
  DrawCall call = Call(DrawCall::kReleaseDC, dc);
  call.object = window;
  call.ok = g_dcs.erase(dc) > 0;
  g_log.draws.push_back(call);
  return call.ok ? 1 : 0;
}

Handle CreateFont(std::int32_t height, std::int32_t width, const char* face) {
  DrawCall call = Call(DrawCall::kCreateFont, 0);
  call.font_height = height;
  call.font_width = width;
  call.text = face != nullptr ? face : "";
  call.ok = !g_behaviour.create_font_fails;
  call.object = call.ok ? ++g_next_handle : 0;
  g_log.draws.push_back(call);
  return call.object;
}

Handle GetStockObject(std::int32_t which) {
  DrawCall call = Call(DrawCall::kStockObject, 0);
  call.x = which;
  call.object = which == 6 ? kWhitePen : 0;
  g_log.draws.push_back(call);
  return call.object;
}

Handle SelectObject(Handle dc, Handle object) {
  DrawCall call = Call(DrawCall::kSelectObject, dc);
  call.object = object;
  auto it = g_dcs.find(dc);
  if (it == g_dcs.end() || object == 0) {
    call.ok = false;
    g_log.draws.push_back(call);
    return 0;
  }
  Handle previous;
  if (object == kWhitePen || object == 0x9E00) {
    previous = it->second.pen;
    it->second.pen = object;
  } else {
    previous = it->second.font;
    it->second.font = object;
  }
  g_log.draws.push_back(call);
  return previous;
}

int DeleteObject(Handle object) {
  DrawCall call = Call(DrawCall::kDeleteObject, 0);
  call.object = object;
  call.ok = object != 0;
  g_log.draws.push_back(call);
  return call.ok ? 1 : 0;
}

std::uint32_t SetBkColor(Handle dc, std::uint32_t colour) {
  DrawCall call = Call(DrawCall::kSetBkColor, dc);
  call.bk_colour = colour;
  auto it = g_dcs.find(dc);
  call.ok = it != g_dcs.end();
  g_log.draws.push_back(call);
  if (!call.ok) return 0xFFFFFFFF;
  const std::uint32_t previous = it->second.bk_colour;
  it->second.bk_colour = colour;
  return previous;
}

std::uint32_t SetTextColor(Handle dc, std::uint32_t colour) {
  DrawCall call = Call(DrawCall::kSetTextColor, dc);
  call.text_colour = colour;
  auto it = g_dcs.find(dc);
  call.ok = it != g_dcs.end();
  g_log.draws.push_back(call);
  if (!call.ok) return 0xFFFFFFFF;
  const std::uint32_t previous = it->second.text_colour;
  it->second.text_colour = colour;
  return previous;
}

int MoveTo(Handle dc, int x, int y) {
  DrawCall call = Call(DrawCall::kMoveTo, dc);
  call.x = x;
  call.y = y;
  call.ok = g_dcs.count(dc) > 0;
  g_log.draws.push_back(call);
  return call.ok ? 1 : 0;
}

int LineTo(Handle dc, int x, int y) {
  DrawCall call = Call(DrawCall::kLineTo, dc);
  call.x = x;
  call.y = y;
  call.ok = g_dcs.count(dc) > 0;
  g_log.draws.push_back(call);
  return call.ok ? 1 : 0;
}

int TextOut(Handle dc, int x, int y, const char* text, int length) {
  DrawCall call = Call(DrawCall::kTextOut, dc);
  call.x = x;
  call.y = y;
  if (text != nullptr && length > 0) call.text.assign(text, static_cast<std::size_t>(length));
  auto it = g_dcs.find(dc);
  call.ok = it != g_dcs.end() && !g_behaviour.text_out_fails;
  if (it != g_dcs.end()) {
    call.text_colour = it->second.text_colour;
    call.bk_colour = it->second.bk_colour;
    call.font = it->second.font;
  }
  g_log.draws.push_back(call);
  return call.ok ? 1 : 0;
}

// ---- Dialogs -----------------------------------------------------------------

DialogControlState* Dialog::Find(std::uint16_t id) {
  for (auto& control : controls_) {
    if (control.id == id) return &control;
  }
  return nullptr;
}

const DialogControlState* Dialog::Find(std::uint16_t id) const {
  for (const auto& control : controls_) {
    if (control.id == id) return &control;
  }
  return nullptr;
}

std::string Dialog::Text(std::uint16_t id) const {
  const DialogControlState* control = Find(id);
  return control != nullptr ? control->text : "";
}

void Dialog::SetText(std::uint16_t id, const std::string& text) {
  if (DialogControlState* control = Find(id)) control->text = text;
}

bool Dialog::Checked(std::uint16_t id) const {
  const DialogControlState* control = Find(id);
  return control != nullptr && control->checked;
}

void Dialog::Click(std::uint16_t id) {
  if (ended_) return;
  DialogControlState* control = Find(id);
  if (control == nullptr) return;
  if (control->kind == kAutoCheck) control->checked = !control->checked;
  if (control->kind == kAutoRadio) {
    for (auto& other : controls_) {
      if (other.group == control->group) other.checked = false;
    }
    control->checked = true;
  }
  send_(kWmCommand, id, 0);
}

std::intptr_t DialogBox(const char* caption, const std::vector<ControlSpec>& items, Handle owner,
                        DialogProcFn proc) {
  if (g_behaviour.dialog_create_fails) {
    g_last_error = g_behaviour.dialog_error;
    return -1;
  }
  ++g_log.dialogs_opened;
  g_log.dialog_owner = owner;
  g_log.dialog_initial_focus = 0;
  g_log.dialog_caption = caption != nullptr ? caption : "";
  Dialog dialog;
  int group = -1;
  bool previous_radio = false;
  for (const ControlSpec& item : items) {
    DialogControlState state{item.id, item.kind, item.text != nullptr ? item.text : ""};
    if (item.kind == 3) state.text.clear();  // edits start empty
    if (item.kind == kAutoRadio) {
      if (!previous_radio || (item.style & kWsGroup) != 0) ++group;
      state.group = group;
      previous_radio = true;
    } else {
      previous_radio = false;
    }
    dialog.controls_.push_back(state);
  }
  dialog.send_ = [proc](std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) {
    return proc(kDialogHandle, message, wparam, lparam);
  };
  Dialog* previous = g_dialog;
  g_dialog = &dialog;
  if (dialog.send_(kWmInitDialog, 0, 0) != 0) {
    for (const ControlSpec& item : items) {
      if ((item.style & kWsTabStop) != 0) {
        g_log.dialog_initial_focus = item.id;
        break;
      }
    }
  }
  for (const auto& control : dialog.controls_) {
    g_log.dialog_texts_at_init.push_back(std::to_string(control.id) + "=" + control.text + "/" +
                                         (control.checked ? "1" : "0"));
  }
  if (!dialog.ended_) {
    if (g_script) {
      g_script(dialog);
    }
    if (!dialog.ended_) dialog.Click(2);  // a person closes it
  }
  g_dialog = previous;
  return dialog.result_;
}

std::uint32_t GetLastError() { return g_last_error; }

int EndDialog(Handle dialog, std::intptr_t result) {
  if (g_dialog == nullptr || dialog != kDialogHandle) return 0;
  g_dialog->ended_ = true;
  g_dialog->result_ = result;
  return 1;
}

int SetDlgItemText(Handle dialog, int id, const char* text) {
  if (g_dialog == nullptr || dialog != kDialogHandle) return 0;
  DialogControlState* control = g_dialog->Find(static_cast<std::uint16_t>(id));
  if (control == nullptr) return 0;
  control->text = text != nullptr ? text : "";
  return 1;
}

std::uint32_t GetDlgItemText(Handle dialog, int id, char* buffer, int size) {
  if (buffer == nullptr || size <= 0) return 0;
  buffer[0] = '\0';
  if (g_dialog == nullptr || dialog != kDialogHandle) return 0;
  const DialogControlState* control = g_dialog->Find(static_cast<std::uint16_t>(id));
  if (control == nullptr) return 0;
  const std::size_t length = std::min(control->text.size(), static_cast<std::size_t>(size - 1));
  std::memcpy(buffer, control->text.data(), length);
  buffer[length] = '\0';
  return static_cast<std::uint32_t>(length);
}

int SetDlgItemInt(Handle dialog, int id, std::uint32_t value, int is_signed) {
  const std::string text =
      is_signed ? std::to_string(static_cast<std::int32_t>(value)) : std::to_string(value);
  return SetDlgItemText(dialog, id, text.c_str());
}

// Win32's reading: leading blanks, an optional minus sign when signed,
// digits, trailing blanks; anything else, or an overflow, gives 0.
std::uint32_t GetDlgItemInt(Handle dialog, int id, int* translated, int is_signed) {
  if (translated != nullptr) *translated = 0;
  char text[512];
  GetDlgItemText(dialog, id, text, sizeof text);
  const char* p = text;
  while (*p == ' ') ++p;
  bool negative = false;
  if (is_signed && *p == '-') negative = true, ++p;
  if (*p < '0' || *p > '9') return 0;
  std::uint64_t value = 0;
  while (*p >= '0' && *p <= '9') {
    value = value * 10 + static_cast<std::uint64_t>(*p - '0');
    if (value > 0xFFFFFFFFu) return 0;
    ++p;
  }
  while (*p == ' ') ++p;
  if (*p != '\0') return 0;
  if (is_signed && value > (negative ? 0x80000000u : 0x7FFFFFFFu)) return 0;
  if (translated != nullptr) *translated = 1;
  return negative ? static_cast<std::uint32_t>(-static_cast<std::int64_t>(value))
                  : static_cast<std::uint32_t>(value);
}

int CheckDlgButton(Handle dialog, int id, std::uint32_t state) {
  if (g_dialog == nullptr || dialog != kDialogHandle) return 0;
  DialogControlState* control = g_dialog->Find(static_cast<std::uint16_t>(id));
  if (control == nullptr) return 0;
  control->checked = state == 1;
  return 1;
}

int CheckRadioButton(Handle dialog, int first_id, int last_id, int check_id) {
  if (g_dialog == nullptr || dialog != kDialogHandle) return 0;
  for (auto& control : g_dialog->controls_) {
    if (control.id >= first_id && control.id <= last_id) control.checked = control.id == check_id;
  }
  return 1;
}

std::uint32_t IsDlgButtonChecked(Handle dialog, int id) {
  if (g_dialog == nullptr || dialog != kDialogHandle) return 0;
  const DialogControlState* control = g_dialog->Find(static_cast<std::uint16_t>(id));
  return control != nullptr && control->checked ? 1 : 0;
}

}  // namespace wsm
