#include "window_system.h"

#include <algorithm>
#include <cstring>

namespace host {
namespace {

constexpr std::uint32_t kIconMask = 0xF0;
constexpr std::size_t kBoxTextWidth = 64;
constexpr int kBlackPen = 7;

// Splits a text into lines of at most `width` characters at blanks.
std::vector<std::string> Wrap(const std::string& text, std::size_t width) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string paragraph = text.substr(start, end - start);
    while (paragraph.size() > width) {
      std::size_t cut = paragraph.rfind(' ', width);
      const bool at_blank = cut != std::string::npos && cut != 0;
      if (!at_blank) cut = width;
      lines.push_back(paragraph.substr(0, cut));
      paragraph.erase(0, at_blank ? cut + 1 : cut);
    }
    lines.push_back(paragraph);
    start = end + 1;
  }
  return lines;
}

}  // namespace

std::string IconName(std::uint32_t style) {
  switch (style & kIconMask) {
    case WS_MB_ICONERROR:
      return "error";
    case WS_MB_ICONWARNING:
      return "warning";
    case WS_MB_ICONINFORMATION:
      return "information";
    default:
      return "";
  }
}

WindowSystem& Ws() {
  static WindowSystem instance;
  return instance;
}

// ---- Message boxes -----------------------------------------------------------

int WindowSystem::ShowMessageBox(ws_Handle /*owner*/, const char* text, const char* caption,
                                 std::uint32_t style) {
  MessageBoxRecord box{caption != nullptr ? caption : "", text != nullptr ? text : "", style};
  boxes_.push_back(box);
  const std::string icon = IconName(style);
  if (console_ == nullptr) return WS_IDOK;
  console_->Log("message box [" + (icon.empty() ? std::string("no icon") : icon) + "] \"" +
                box.caption + "\": " + box.text);
  if (quiet_) return WS_IDOK;

  // A framed box: the icon and caption on the title bar, the text, an OK button.
  const std::string marker = icon == "error"         ? "(X) "
                             : icon == "warning"     ? "/!\\ "
                             : icon == "information" ? "(i) "
                                                     : "";
  const std::string title = marker + box.caption;
  std::vector<std::string> lines = Wrap(box.text, kBoxTextWidth);
  std::size_t width = std::max<std::size_t>(title.size(), 20);
  for (const std::string& line : lines) width = std::max(width, line.size());
  const std::string rule(width + 2, '-');
  auto pad = [&](const std::string& s) {
    return "| " + s + std::string(width - s.size(), ' ') + " |\n";
  };
  std::string out = "\n+" + rule + "+\n" + pad(title) + "+" + rule + "+\n";
  for (const std::string& line : lines) out += pad(line);
  const std::string ok = "[ OK ]";
  out += pad(std::string((width - ok.size()) / 2, ' ') + ok);
  out += "+" + rule + "+\n";
  console_->Print(out);
  if (!console_->interactive()) return WS_IDOK;
  const bool link_failure = box.caption == "Write Comm Error" || box.caption == "Read Comm Error" ||
                            box.caption == "Communication Error";
  // The answer comes from a line of its own: keys typed before the box came
  // up are kept for the prompt, never taken as the answer.
  for (;;) {
    console_->Print(link_failure ? "Enter: OK   s: OK, then stop position reports   d: OK, then "
                                   "disconnect (then Enter) "
                                 : "Press Enter for OK. ");
    const std::optional<std::string> line = console_->ReadOwnLine();
    const std::string answer = line ? *line : "";
    if (!line || answer.empty() || !link_failure) break;
    if (answer == "s" || answer == "S") {
      link_action_ = LinkAction::kStopReports;
      break;
    }
    if (answer == "d" || answer == "D") {
      link_action_ = LinkAction::kDisconnect;
      break;
    }
  }
  if (!console_->typed().empty()) {
    console_->Print("(kept what you had typed, go on: " + console_->typed() + ")\n");
  }
  if (link_failure) {
    console_->Log(link_action_ == LinkAction::kStopReports  ? "link failure: stop reports"
                  : link_action_ == LinkAction::kDisconnect ? "link failure: disconnect"
                                                            : "link failure: OK");
  }
  return WS_IDOK;
}

// ---- Menus ---------------------------------------------------------------------

ws_Handle WindowSystem::CreateMenu() {
  const ws_Handle handle = next_menu_++;
  menus_[handle];
  return handle;
}

bool WindowSystem::Append(ws_Handle menu, std::uint32_t flags, std::uint32_t id, const char* text) {
  auto it = menus_.find(menu);
  if (it == menus_.end()) return false;
  MenuEntry entry{flags, id, text != nullptr ? text : ""};
  if (!entry.separator() && text == nullptr) return false;
  it->second.push_back(entry);
  return true;
}

const std::vector<MenuEntry>* WindowSystem::Menu(ws_Handle menu) const {
  auto it = menus_.find(menu);
  return it == menus_.end() ? nullptr : &it->second;
}

// ---- Drawing -----------------------------------------------------------------------

void WindowSystem::CreateDebugWindow(int width, int height) {
  page_ = std::make_unique<Canvas>(width, height, Rgb{0, 0, 0});
}

void WindowSystem::EnsureStockObjects() {
  if (system_font_ != 0) return;
  system_font_ = next_object_++;
  objects_[system_font_] = Object{Object::kFont, FontSpec{16, 0, "sans-serif"}, true};
  black_pen_ = next_object_++;
  objects_[black_pen_] = Object{Object::kPen, {}, true};
  white_pen_ = next_object_++;
  objects_[white_pen_] = Object{Object::kPen, {}, true};
}

WindowSystem::Dc* WindowSystem::FindDc(ws_Handle dc) {
  auto it = dcs_.find(dc);
  return it == dcs_.end() ? nullptr : &it->second;
}

ws_Handle WindowSystem::GetDC(ws_Handle window) {
  if (window != kDebugWindow || !page_) return 0;
  EnsureStockObjects();
  const ws_Handle handle = next_dc_++;
  Dc dc;
  dc.window = window;
  dc.font = system_font_;
  dc.pen = black_pen_;
  dcs_[handle] = dc;
  return handle;
}

bool WindowSystem::ReleaseDC(ws_Handle window, ws_Handle dc) {
  auto it = dcs_.find(dc);
  if (it == dcs_.end() || it->second.window != window) return false;
  dcs_.erase(it);
  ++pages_drawn_;
  return true;
}

ws_Handle WindowSystem::CreateFont(int height, int width, const char* face) {
  EnsureStockObjects();
  if (face == nullptr) face = "";
  if (text_ == nullptr || text_->FileFor(face).empty()) return 0;
  const ws_Handle handle = next_object_++;
  objects_[handle] = Object{Object::kFont, FontSpec{height, width, face}, false};
  return handle;
}

ws_Handle WindowSystem::StockObject(int which) {
  EnsureStockObjects();
  if (which == WS_WHITE_PEN) return white_pen_;
  if (which == kBlackPen) return black_pen_;
  return 0;
}

ws_Handle WindowSystem::Select(ws_Handle dc, ws_Handle object) {
  Dc* d = FindDc(dc);
  auto it = objects_.find(object);
  if (d == nullptr || it == objects_.end()) return 0;
  ws_Handle& slot = it->second.kind == Object::kFont ? d->font : d->pen;
  const ws_Handle previous = slot;
  slot = object;
  return previous;
}

bool WindowSystem::DeleteObject(ws_Handle object) {
  auto it = objects_.find(object);
  if (it == objects_.end()) return false;
  if (it->second.stock) return true;  // deleting a stock object is harmless
  objects_.erase(it);
  return true;
}

std::uint32_t WindowSystem::SetBkColor(ws_Handle dc, std::uint32_t colour) {
  Dc* d = FindDc(dc);
  if (d == nullptr) return 0xFFFFFFFF;  // CLR_INVALID
  std::swap(d->bk_colour, colour);
  return colour;
}

std::uint32_t WindowSystem::SetTextColor(ws_Handle dc, std::uint32_t colour) {
  Dc* d = FindDc(dc);
  if (d == nullptr) return 0xFFFFFFFF;
  std::swap(d->text_colour, colour);
  return colour;
}

bool WindowSystem::MoveTo(ws_Handle dc, int x, int y) {
  Dc* d = FindDc(dc);
  if (d == nullptr) return false;
  d->x = x, d->y = y;
  return true;
}

bool WindowSystem::LineTo(ws_Handle dc, int x, int y) {
  Dc* d = FindDc(dc);
  if (d == nullptr || !page_) return false;
  const Rgb colour = d->pen == white_pen_ ? Rgb{255, 255, 255} : Rgb{0, 0, 0};
  page_->Line(d->x, d->y, x, y, colour);
  d->x = x, d->y = y;
  return true;
}

bool WindowSystem::TextOut(ws_Handle dc, int x, int y, const char* text, int length) {
  Dc* d = FindDc(dc);
  if (d == nullptr || !page_ || text_ == nullptr || length < 0 || (text == nullptr && length > 0)) {
    return false;
  }
  auto font = objects_.find(d->font);
  const FontSpec face = font != objects_.end() ? font->second.font : FontSpec{};
  const std::string s(text != nullptr ? text : "", static_cast<std::size_t>(length));
  return text_->Draw(*page_, face, x, y, s, FromColorRef(d->text_colour),
                     FromColorRef(d->bk_colour), true);
}

// ---- Dialogs ----------------------------------------------------------------------

Dialog* WindowSystem::FindDialog(ws_Handle handle) {
  for (auto& d : dialogs_) {
    if (d->handle == handle) return d.get();
  }
  return nullptr;
}

std::optional<std::string> WindowSystem::NextDialogLine() {
  if (!dialog_input_.empty()) {
    std::string line = dialog_input_.front();
    dialog_input_.erase(dialog_input_.begin());
    return line;
  }
  if (console_ == nullptr) return std::nullopt;
  return console_->ReadLine(-1);
}

DialogControl* Dialog::Find(int id) {
  for (DialogControl& c : controls) {
    if (c.id == id) return &c;
  }
  return nullptr;
}

void Dialog::Command(int id) {
  if (!ended && proc != nullptr) proc(handle, WS_WM_COMMAND, static_cast<std::uint16_t>(id), 0);
}

void Dialog::Click(DialogControl& control) {
  if (ended) return;
  if (control.kind == WS_CONTROL_AUTOCHECKBOX) control.checked = !control.checked;
  if (control.kind == WS_CONTROL_AUTORADIOBUTTON) {
    for (DialogControl& other : controls) {
      if (other.kind == WS_CONTROL_AUTORADIOBUTTON && other.group == control.group) {
        other.checked = false;
      }
    }
    control.checked = true;
  }
  Command(control.id);
}

}  // namespace host

// ---- The exported window-system functions -------------------------------------------

using host::Ws;

extern "C" {

int32_t ws_MessageBox(ws_Handle owner, const char* text, const char* caption, uint32_t style) {
  return Ws().ShowMessageBox(owner, text, caption, style);
}
ws_Handle ws_GetFocus(void) { return host::WindowSystem::kMainWindow; }
int32_t ws_AppendMenu(ws_Handle menu, uint32_t flags, uint32_t id, const char* text) {
  return Ws().Append(menu, flags, id, text) ? 1 : 0;
}
int32_t ws_IsWindowVisible(ws_Handle window) { return Ws().visible(window) ? 1 : 0; }

ws_Handle ws_GetDC(ws_Handle window) { return Ws().GetDC(window); }
int32_t ws_ReleaseDC(ws_Handle window, ws_Handle dc) { return Ws().ReleaseDC(window, dc) ? 1 : 0; }
ws_Handle ws_CreateFont(int32_t height, int32_t average_width, const char* face) {
  return Ws().CreateFont(height, average_width, face);
}
ws_Handle ws_GetStockObject(int32_t which) { return Ws().StockObject(which); }
ws_Handle ws_SelectObject(ws_Handle dc, ws_Handle object) { return Ws().Select(dc, object); }
int32_t ws_DeleteObject(ws_Handle object) { return Ws().DeleteObject(object) ? 1 : 0; }
uint32_t ws_SetBkColor(ws_Handle dc, uint32_t colour) { return Ws().SetBkColor(dc, colour); }
uint32_t ws_SetTextColor(ws_Handle dc, uint32_t colour) { return Ws().SetTextColor(dc, colour); }
int32_t ws_MoveTo(ws_Handle dc, int32_t x, int32_t y) { return Ws().MoveTo(dc, x, y) ? 1 : 0; }
int32_t ws_LineTo(ws_Handle dc, int32_t x, int32_t y) { return Ws().LineTo(dc, x, y) ? 1 : 0; }
int32_t ws_TextOut(ws_Handle dc, int32_t x, int32_t y, const char* text, int32_t length) {
  return Ws().TextOut(dc, x, y, text, length) ? 1 : 0;
}

intptr_t ws_DialogBox(const ws_DialogTemplate* dialog, ws_Handle owner, ws_DialogProc proc) {
  return Ws().RunDialog(dialog, owner, proc);
}
uint32_t ws_GetLastError(void) { return Ws().last_error(); }
int32_t ws_EndDialog(ws_Handle dialog, intptr_t result) {
  host::Dialog* d = Ws().FindDialog(dialog);
  if (d == nullptr) return 0;
  d->ended = true;
  d->result = result;
  return 1;
}
int32_t ws_SetDlgItemText(ws_Handle dialog, int32_t id, const char* text) {
  host::Dialog* d = Ws().FindDialog(dialog);
  host::DialogControl* c = d != nullptr ? d->Find(id) : nullptr;
  if (c == nullptr) return 0;
  c->text = text != nullptr ? text : "";
  return 1;
}
uint32_t ws_GetDlgItemText(ws_Handle dialog, int32_t id, char* buffer, int32_t size) {
  if (buffer == nullptr || size <= 0) return 0;
  host::Dialog* d = Ws().FindDialog(dialog);
  host::DialogControl* c = d != nullptr ? d->Find(id) : nullptr;
  if (c == nullptr) {
    buffer[0] = '\0';
    return 0;
  }
  const std::size_t n = std::min(c->text.size(), static_cast<std::size_t>(size - 1));
  std::memcpy(buffer, c->text.data(), n);
  buffer[n] = '\0';
  return static_cast<uint32_t>(n);
}
int32_t ws_SetDlgItemInt(ws_Handle dialog, int32_t id, uint32_t value, int32_t is_signed) {
  const std::string text =
      is_signed ? std::to_string(static_cast<int32_t>(value)) : std::to_string(value);
  return ws_SetDlgItemText(dialog, id, text.c_str());
}
uint32_t ws_GetDlgItemInt(ws_Handle dialog, int32_t id, int32_t* translated, int32_t is_signed) {
  if (translated != nullptr) *translated = 0;
  host::Dialog* d = Ws().FindDialog(dialog);
  host::DialogControl* c = d != nullptr ? d->Find(id) : nullptr;
  if (c == nullptr) return 0;
  // Leading blanks, an optional minus sign (signed reads only), digits,
  // trailing blanks; anything else, or a value too large, is no number.
  const std::string& t = c->text;
  std::size_t i = 0;
  while (i < t.size() && t[i] == ' ') ++i;
  bool negative = false;
  if (is_signed && i < t.size() && t[i] == '-') negative = true, ++i;
  const std::size_t first_digit = i;
  std::uint64_t value = 0;
  while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
    value = value * 10 + static_cast<std::uint64_t>(t[i] - '0');
    if (value > 0xFFFFFFFFull) return 0;
    ++i;
  }
  if (i == first_digit) return 0;
  while (i < t.size() && t[i] == ' ') ++i;
  if (i != t.size()) return 0;
  if (is_signed && value > (negative ? 0x80000000ull : 0x7FFFFFFFull)) return 0;
  if (translated != nullptr) *translated = 1;
  return negative ? static_cast<uint32_t>(-static_cast<int64_t>(value))
                  : static_cast<uint32_t>(value);
}
int32_t ws_CheckDlgButton(ws_Handle dialog, int32_t id, uint32_t state) {
  host::Dialog* d = Ws().FindDialog(dialog);
  host::DialogControl* c = d != nullptr ? d->Find(id) : nullptr;
  if (c == nullptr) return 0;
  c->checked = state == WS_BST_CHECKED;
  return 1;
}
int32_t ws_CheckRadioButton(ws_Handle dialog, int32_t first_id, int32_t last_id, int32_t check_id) {
  host::Dialog* d = Ws().FindDialog(dialog);
  if (d == nullptr) return 0;
  bool found = false;
  for (host::DialogControl& c : d->controls) {
    if (c.id >= first_id && c.id <= last_id) {
      c.checked = c.id == check_id;
      found = found || c.checked;
    }
  }
  return found ? 1 : 0;
}
uint32_t ws_IsDlgButtonChecked(ws_Handle dialog, int32_t id) {
  host::Dialog* d = Ws().FindDialog(dialog);
  host::DialogControl* c = d != nullptr ? d->Find(id) : nullptr;
  return c != nullptr && c->checked ? WS_BST_CHECKED : WS_BST_UNCHECKED;
}

}  // extern "C"
