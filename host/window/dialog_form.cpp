// The modal dialog as a form in the terminal.  The template's controls are
// laid out on a character grid (three dialog units a column, eight a row);
// every control that takes input carries a key letter.  The person types
//   <key> <text>   to put a text into an edit field (<key> alone empties it),
//   <key>          to press a button or click a check box or radio button
//                  (or the control's whole text, e.g. "Mount model"),
//   ok / cancel    for the OK and Cancel buttons (cancel is also Escape),
// and an empty line draws the form again.  Scripts feed the same lines.
#include <algorithm>
#include <cmath>

#include "window_system.h"

namespace host {
namespace {

constexpr std::uint32_t kWsGroup = 0x00020000;
constexpr double kUnitsPerColumn = 3.0;
constexpr int kUnitsPerRow = 8;
constexpr std::uint32_t kErrorInvalidParameter = 87;

char KeyFor(int index) {
  if (index < 26) return static_cast<char>('a' + index);
  if (index < 52) return static_cast<char>('A' + index - 26);
  return 0;
}

int Column(int x) { return static_cast<int>(std::lround(x / kUnitsPerColumn)); }

class Grid {
 public:
  Grid(int columns, int rows) : rows_(static_cast<std::size_t>(rows), std::string(columns, ' ')) {}
  void Put(int row, int column, const std::string& text) {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return;
    std::string& line = rows_[static_cast<std::size_t>(row)];
    for (std::size_t i = 0; i < text.size(); ++i) {
      const int c = column + static_cast<int>(i);
      if (c >= 0 && c < static_cast<int>(line.size())) line[static_cast<std::size_t>(c)] = text[i];
    }
  }
  void Frame(int top, int left, int bottom, int right, const std::string& label) {
    for (int c = left; c <= right; ++c) Put(top, c, "-"), Put(bottom, c, "-");
    for (int r = top; r <= bottom; ++r) Put(r, left, "|"), Put(r, right, "|");
    Put(top, left, "+"), Put(top, right, "+"), Put(bottom, left, "+"), Put(bottom, right, "+");
    if (!label.empty()) Put(top, left + 2, " " + label + " ");
  }
  // The rows without trailing blanks, and without the empty rows at the end.
  std::string Text() const {
    std::string out;
    std::size_t blank_tail = 0;
    for (std::string line : rows_) {
      while (!line.empty() && line.back() == ' ') line.pop_back();
      if (line.empty()) {
        ++blank_tail;
        continue;
      }
      for (; blank_tail > 0; --blank_tail) out += "\n";
      out += "  " + line + "\n";
    }
    return out;
  }

 private:
  std::vector<std::string> rows_;
};

std::string Render(const Dialog& dialog) {
  const int columns = Column(dialog.width) + 1;
  const int rows = dialog.height / kUnitsPerRow + 1;
  Grid grid(columns, rows);
  for (const DialogControl& c : dialog.controls) {
    if (c.kind == WS_CONTROL_GROUPBOX) {
      grid.Frame(c.y / kUnitsPerRow, Column(c.x), (c.y + c.height) / kUnitsPerRow,
                 Column(c.x + c.width), c.text);
    }
  }
  for (const DialogControl& c : dialog.controls) {
    const int row = (c.y + c.height / 2) / kUnitsPerRow;
    const int column = Column(c.x);
    const int width = std::max(Column(c.x + c.width) - column, 1);
    const std::string key = c.key != 0 ? std::string(1, c.key) + ")" : "";
    switch (c.kind) {
      case WS_CONTROL_STATIC:
        grid.Put(row, column, c.text);
        break;
      case WS_CONTROL_EDIT: {
        const std::size_t room = static_cast<std::size_t>(std::max(width - 4, 3));
        std::string shown = c.text;
        if (shown.size() > room) shown = shown.substr(0, room - 1) + ">";
        shown.resize(room, ' ');
        grid.Put(row, column, key + "[" + shown + "]");
        break;
      }
      case WS_CONTROL_AUTOCHECKBOX:
        grid.Put(row, column, key + (c.checked ? "[x] " : "[ ] ") + c.text);
        break;
      case WS_CONTROL_AUTORADIOBUTTON:
        grid.Put(row, column, key + (c.checked ? "(*) " : "( ) ") + c.text);
        break;
      case WS_CONTROL_PUSHBUTTON:
      case WS_CONTROL_DEFPUSHBUTTON:
        grid.Put(row, column, key + "[ " + c.text + " ]");
        break;
      default:
        break;
    }
  }
  // The caption on the top rule; the whole form within 79 columns (the
  // template's 232 units make 78) and a 24-line terminal with its prompt.
  const std::size_t width = static_cast<std::size_t>(std::min(columns + 1, 79));
  std::string title = " == " + dialog.caption + " ";
  if (title.size() < width) title.resize(width, '=');
  return title + "\n" + grid.Text() + " " + std::string(width - 1, '=') + "\n";
}

constexpr const char* kFormHelp =
    "  <key> <text> sets a field; <key> clicks or empties; ok; cancel; Enter redraws\n";

// The configuration dialog's resolution fields (1000, 1001) take a whole
// number of counts a turn.  The plug-in reads them as unsigned numbers and
// keeps 0 for anything else, which turns no count into an angle, so the form
// refuses such a text and says why; nothing: the text is fine.
std::string Refusal(const Dialog& dialog, const DialogControl& control, const std::string& text) {
  if (dialog.caption.rfind("Configure Telescope", 0) != 0 ||
      (control.id != 1000 && control.id != 1001)) {
    return "";
  }
  const std::size_t start = text.find_first_not_of(' ');
  const std::size_t end = text.find_last_not_of(' ');
  const std::string digits = start == std::string::npos ? "" : text.substr(start, end - start + 1);
  const bool number =
      !digits.empty() && digits.find_first_not_of("0123456789") == std::string::npos;
  if (number && digits.size() <= 10 && std::stoull(digits) >= 1 &&
      std::stoull(digits) <= 2147483647ull) {
    return "";
  }
  return "A resolution is a whole number of counts a turn, from 1 to 2147483647, in digits "
         "alone (Invert counts the other way), not '" +
         text + "'; the field keeps " + (control.text.empty() ? "nothing" : control.text) + ".";
}

}  // namespace

intptr_t WindowSystem::RunDialog(const ws_DialogTemplate* tpl, ws_Handle /*owner*/,
                                 ws_DialogProc proc) {
  if (tpl == nullptr || proc == nullptr || (tpl->count > 0 && tpl->controls == nullptr)) {
    last_error_ = kErrorInvalidParameter;
    return -1;
  }
  last_error_ = 0;
  auto dialog = std::make_unique<Dialog>();
  dialog->handle = next_dialog_++;
  dialog->caption = tpl->caption != nullptr ? tpl->caption : "";
  dialog->width = tpl->width;
  dialog->height = tpl->height;
  dialog->proc = proc;
  int keys = 0;
  for (std::uint16_t i = 0; i < tpl->count; ++i) {
    const ws_DialogControl& t = tpl->controls[i];
    DialogControl c;
    c.id = t.id;
    c.kind = t.kind;
    c.text = t.text != nullptr ? t.text : "";
    c.x = t.x, c.y = t.y, c.width = t.width, c.height = t.height;
    c.style = t.style;
    if (c.kind == WS_CONTROL_AUTORADIOBUTTON) {
      // A radio group runs from a button with WS_GROUP, or from the first of
      // a run of radio buttons, to the next such start.
      const bool starts = (c.style & kWsGroup) != 0 || dialog->controls.empty() ||
                          dialog->controls.back().kind != WS_CONTROL_AUTORADIOBUTTON;
      c.group = starts ? static_cast<int>(i) : dialog->controls.back().group;
    }
    if (c.interactive()) c.key = KeyFor(keys++);
    dialog->controls.push_back(c);
  }
  Dialog* d = dialog.get();
  dialogs_.push_back(std::move(dialog));
  if (console_ != nullptr) console_->Log("dialog \"" + d->caption + "\" opened");

  proc(d->handle, WS_WM_INITDIALOG, 0, 0);
  bool show = true;
  while (!d->ended) {
    if (show && console_ != nullptr) console_->Print(Render(*d) + kFormHelp);
    show = false;
    if (console_ != nullptr) console_->Print("dialog> ");
    std::optional<std::string> line = NextDialogLine();
    if (!line) {
      // Input ended: the dialog is cancelled, as by Escape.
      if (console_ != nullptr) console_->Line("(input ended: Cancel)");
      d->Command(WS_IDCANCEL);
      if (!d->ended) d->ended = true, d->result = 0;
      break;
    }
    if (console_ != nullptr && !console_->interactive()) console_->Line(*line);
    std::string input = *line;
    while (!input.empty() && input.back() == ' ') input.pop_back();
    if (console_ != nullptr) console_->Log("dialog input: " + input);
    if (input.empty()) {
      show = true;
      continue;
    }
    if (input == "?" || input == "help") {
      if (console_ != nullptr) console_->Print(kFormHelp);
      continue;
    }
    if (input == "ok" || input == "cancel" || input == "esc") {
      const int id = input == "ok" ? WS_IDOK : WS_IDCANCEL;
      DialogControl* button = d->Find(id);
      if (button != nullptr)
        d->Click(*button);
      else
        d->Command(id);
      show = !d->ended;
      continue;
    }
    DialogControl* control = nullptr;
    bool by_text = false;
    if (input.size() == 1 || input[1] == ' ') {
      for (DialogControl& c : d->controls) {
        if (c.key != 0 && c.key == input[0]) control = &c;
      }
    }
    // A button or box may also be named by its whole text ("Mount model").
    if (control == nullptr && input.size() > 1) {
      for (DialogControl& c : d->controls) {
        if (c.key != 0 && c.kind != WS_CONTROL_EDIT && c.text == input)
          control = &c, by_text = true;
      }
    }
    if (control == nullptr) {
      if (console_ != nullptr) {
        console_->Line("No control has the key '" + input.substr(0, input.find(' ')) +
                       "'; type ? for help.");
      }
      continue;
    }
    if (control->kind == WS_CONTROL_EDIT) {
      const std::string text = input.size() > 2 ? input.substr(2) : "";
      const std::string refusal = Refusal(*d, *control, text);
      if (!refusal.empty()) {
        if (console_ != nullptr) console_->Line(refusal);
        continue;
      }
      control->text = text;
    } else if (input.size() > 1 && !by_text) {
      if (console_ != nullptr) console_->Line("'" + control->text + "' takes no text.");
      continue;
    } else {
      d->Click(*control);
    }
    show = !d->ended;
  }
  const intptr_t result = d->result;
  if (console_ != nullptr) {
    console_->Line(result == WS_IDOK ? "(dialog closed with OK)" : "(dialog closed)");
    console_->Log("dialog \"" + d->caption + "\" closed with " + std::to_string(result));
  }
  dialogs_.pop_back();
  return result;
}

}  // namespace host
