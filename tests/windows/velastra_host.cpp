// velastra.exe: a 32-bit Windows console host for the Wine tests.  It
// exports the vl_ functions (simple_vl.cpp), loads Controller.plug with
// LoadLibraryA and runs a script of operations read from its standard input
// (script_host.h).  Everything the plug-in shows is real: its message boxes
// and its dialog are windows of this process, found with a thread-local CBT
// hook and read and dismissed from a timer that runs in their own modal
// loops, and the debug page is drawn into a real window whose pixels are
// read back.  Single-threaded throughout.
//
// Usage: velastra.exe [path of Controller.plug]   (default: beside the program)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "script_host.h"

namespace {

using EntryPoint = std::int16_t (*)(std::uint32_t, std::uintptr_t);

// Controls whose state the dialog lines show: edits by text, buttons by check.
constexpr int kEdits[] = {1000, 1001, 1013, 1015, 1016, 1017, 1018, 1019};
constexpr int kButtons[] = {1002, 1003, 1004, 1005, 1006, 1007, 1014, 1020, 1021, 1022};
constexpr int kFirstEditOfDialog = 1000;

std::string WindowText(HWND window) {
  char text[1024] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

std::string ClassOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

class Win32Platform final : public script::Platform {
 public:
  explicit Win32Platform(EntryPoint entry) : entry_(entry) {
    self_ = this;
    hook_ = SetWindowsHookExA(WH_CBT, &CbtProc, nullptr, GetCurrentThreadId());
  }
  ~Win32Platform() override {
    if (hook_ != nullptr) UnhookWindowsHookEx(hook_);
  }

  std::int16_t Call(std::uint32_t selector, std::uintptr_t parameter) override {
    return entry_(selector, parameter);
  }

  std::uintptr_t NewDebugWindow() override {
    static bool registered = false;
    if (!registered) {
      WNDCLASSA wc{};
      wc.lpfnWndProc = &DefWindowProcA;
      wc.hInstance = GetModuleHandleA(nullptr);
      wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
      wc.lpszClassName = "VelastraDebugWindow";
      registered = RegisterClassA(&wc) != 0;
    }
    RECT frame{0, 0, 300, 200};
    AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
    // Top left, away from the boxes and dialogs, which the system centres.
    debug_window_ = CreateWindowA("VelastraDebugWindow", "Telescope", WS_OVERLAPPEDWINDOW, 0, 0,
                                  frame.right - frame.left, frame.bottom - frame.top, nullptr,
                                  nullptr, GetModuleHandleA(nullptr), nullptr);
    if (debug_window_ == nullptr) return 0;
    ShowWindow(debug_window_, SW_SHOWNORMAL);
    UpdateWindow(debug_window_);
    Pump();
    return reinterpret_cast<std::uintptr_t>(debug_window_);
  }

  std::uint32_t NewMenu() override {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(CreatePopupMenu()));
  }

  std::vector<std::string> MenuItems(std::uint32_t handle) override {
    const HMENU menu = reinterpret_cast<HMENU>(static_cast<std::uintptr_t>(handle));
    std::vector<std::string> items;
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
      MENUITEMINFOA info{};
      info.cbSize = sizeof info;
      info.fMask = MIIM_FTYPE | MIIM_ID;
      GetMenuItemInfoA(menu, i, TRUE, &info);
      if ((info.fType & MFT_SEPARATOR) != 0) {
        items.push_back("-");
        continue;
      }
      char text[256] = {};
      GetMenuStringA(menu, i, text, sizeof text, MF_BYPOSITION);
      items.push_back(std::to_string(info.wID) + ":" + text);
    }
    DestroyMenu(menu);
    return items;
  }

  void ArmDialog(const std::vector<std::string>& actions) override { actions_ = actions; }
  std::vector<std::string> TakeDialogLines() override { return std::exchange(dialog_lines_, {}); }
  std::vector<std::string> TakeBoxes() override { return std::exchange(boxes_, {}); }
  void ArmReentry(std::function<void()> inside) override { reentry_ = std::move(inside); }

  std::string Colours(int x, int y, int width, int height) override {
    if (debug_window_ == nullptr) return "";
    std::map<COLORREF, int> counts;
    const HDC dc = GetDC(debug_window_);
    for (int j = y; j < y + height; ++j) {
      for (int i = x; i < x + width; ++i) ++counts[GetPixel(dc, i, j)];
    }
    ReleaseDC(debug_window_, dc);
    std::vector<std::pair<int, COLORREF>> sorted;
    for (const auto& [colour, count] : counts) sorted.push_back({-count, colour});
    std::sort(sorted.begin(), sorted.end());
    std::string out;
    for (const auto& [count, colour] : sorted) {
      char item[32];
      std::snprintf(item, sizeof item, "%s%02x%02x%02x:%d", out.empty() ? "" : " ",
                    GetRValue(colour), GetGValue(colour), GetBValue(colour), -count);
      out += item;
    }
    return out;
  }

 private:
  static void Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }

  // Sees every window of this thread being activated: dialogs and message
  // boxes (class "#32770") are taken up by the timer, which runs inside
  // their modal loop once they are up.
  static LRESULT CALLBACK CbtProc(int code, WPARAM wparam, LPARAM lparam) {
    if (code == HCBT_ACTIVATE && self_ != nullptr) {
      const HWND window = reinterpret_cast<HWND>(wparam);
      if (ClassOf(window) == "#32770" && std::find(self_->pending_.begin(), self_->pending_.end(),
                                                   window) == self_->pending_.end()) {
        self_->pending_.push_back(window);
        self_->tries_[window] = 0;
        SetTimer(nullptr, 0, 30, &TimerProc);
      }
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
  }

  static void CALLBACK TimerProc(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    if (self_ == nullptr) return;
    std::vector<HWND> waiting;
    for (HWND window : std::exchange(self_->pending_, {})) {
      if (!IsWindow(window)) continue;
      // The host calls again from a timer inside the box's or dialog's
      // modal loop.
      if (std::function<void()> inside = std::exchange(self_->reentry_, nullptr)) inside();
      const bool done = GetDlgItem(window, kFirstEditOfDialog) != nullptr
                            ? self_->DriveDialog(window)
                            : self_->ReadAndDismissBox(window);
      if (!done) waiting.push_back(window);
    }
    for (HWND window : waiting) self_->pending_.push_back(window);
    if (!self_->pending_.empty()) SetTimer(nullptr, 0, 30, &TimerProc);
  }

  // The configuration dialog: its state as it opened, then the actions.
  bool DriveDialog(HWND dialog) {
    dialog_lines_.push_back("dialog " + WindowText(dialog));
    std::string fields = "fields";
    for (int id : kEdits) {
      char text[512] = {};
      GetDlgItemTextA(dialog, id, text, sizeof text);
      char item[600];
      std::snprintf(item, sizeof item, " %d=%s", id, text);
      fields += item;
    }
    for (int id : kButtons) {
      char item[32];
      std::snprintf(item, sizeof item, " %d=%s", id, IsDlgButtonChecked(dialog, id) ? "x" : "o");
      fields += item;
    }
    dialog_lines_.push_back(fields);
    std::vector<std::string> actions = std::exchange(actions_, {});
    if (actions.empty()) actions.push_back("click:2");
    for (const std::string& action : actions) {
      const std::size_t colon = action.find(':');
      if (colon == std::string::npos) continue;
      const std::string verb = action.substr(0, colon);
      const std::string rest = action.substr(colon + 1);
      if (verb == "text") {
        const std::size_t eq = rest.find('=');
        SetDlgItemTextA(dialog, std::atoi(rest.substr(0, eq).c_str()),
                        eq == std::string::npos ? "" : rest.substr(eq + 1).c_str());
      } else if (verb == "click") {
        const HWND button = GetDlgItem(dialog, std::atoi(rest.c_str()));
        if (button != nullptr) SendMessageA(button, BM_CLICK, 0, 0);
      }
    }
    return true;
  }

  // A message box: caption, text, icon and modality as shown, then OK.
  bool ReadAndDismissBox(HWND box) {
    std::string text;
    std::uint32_t style = 0;
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
      if (ClassOf(child) != "Static") continue;
      if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        const HICON icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
        if (icon != nullptr && icon == LoadIconA(nullptr, IDI_HAND)) style |= MB_ICONERROR;
        if (icon != nullptr && icon == LoadIconA(nullptr, IDI_EXCLAMATION)) style |= MB_ICONWARNING;
        if (icon != nullptr && icon == LoadIconA(nullptr, IDI_ASTERISK))
          style |= MB_ICONINFORMATION;
      } else if (text.empty()) {
        text = WindowText(child);
      }
    }
    // The text is set while the box initialises: wait a little if it is not there yet.
    if (text.empty() && ++tries_[box] < 10) return false;
    if ((GetWindowLongA(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0) style |= MB_SYSTEMMODAL;
    boxes_.push_back(script::BoxLine(WindowText(box), text, style));
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    return true;
  }

  static Win32Platform* self_;
  EntryPoint entry_;
  HHOOK hook_ = nullptr;
  HWND debug_window_ = nullptr;
  std::vector<HWND> pending_;
  std::map<HWND, int> tries_;
  std::vector<std::string> actions_;
  std::function<void()> reentry_;
  std::vector<std::string> dialog_lines_;
  std::vector<std::string> boxes_;
};

Win32Platform* Win32Platform::self_ = nullptr;

std::string BesideProgram(const char* file) {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, sizeof path);
  char* slash = std::strrchr(path, '\\');
  if (slash != nullptr) slash[1] = '\0';
  return std::string(path) + file;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string path = argc > 1 ? argv[1] : BesideProgram("Controller.plug");
  const HMODULE plugin = LoadLibraryA(path.c_str());
  if (plugin == nullptr) {
    std::printf("error cannot load %s (%lu)\n", path.c_str(), GetLastError());
    return 1;
  }
  const auto entry =
      reinterpret_cast<EntryPoint>(reinterpret_cast<void*>(GetProcAddress(plugin, "DoOperation")));
  if (entry == nullptr) {
    std::printf("error no DoOperation in %s\n", path.c_str());
    return 1;
  }
  std::printf("loaded\n");
  std::fflush(stdout);
  Win32Platform platform(entry);
  return script::Run(platform, stdin, stdout);
}
