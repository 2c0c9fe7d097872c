// The window system on Windows: user32 and gdi32, called directly.
#include "platform/platform.h"
#include "platform/win32/windows_api.h"

namespace plat {
namespace {

HWND Window(Handle h) { return reinterpret_cast<HWND>(h); }
HDC Context(Handle h) { return reinterpret_cast<HDC>(h); }
HGDIOBJ Object(Handle h) { return reinterpret_cast<HGDIOBJ>(h); }
template <typename T>
Handle Of(T h) {
  return reinterpret_cast<Handle>(h);
}

// The core's dialog procedure uses the C calling convention; the system
// calls a dialog procedure with its own (CALLBACK).  The modal dialog runs
// one at a time, so one slot holds the procedure in force.
DialogProc g_dialog_proc = nullptr;

INT_PTR CALLBACK DialogTrampoline(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  return g_dialog_proc != nullptr ? g_dialog_proc(Of(dialog), message, wparam, lparam) : FALSE;
}

}  // namespace

int MessageBox(Handle owner, const char* text, const char* caption, std::uint32_t style) {
  return MessageBoxA(Window(owner), text, caption, style);
}
Handle GetFocus() { return Of(::GetFocus()); }
void AppendMenu(Handle menu, std::uint32_t flags, std::uint32_t id, const char* text) {
  AppendMenuA(reinterpret_cast<HMENU>(menu), flags, id, text);
}
bool IsWindowVisible(Handle window) { return ::IsWindowVisible(Window(window)) != 0; }

Handle GetDC(Handle window) { return Of(::GetDC(Window(window))); }
void ReleaseDC(Handle window, Handle dc) { ::ReleaseDC(Window(window), Context(dc)); }
Handle CreateFont(std::int32_t height, std::int32_t average_width, const char* face) {
  LOGFONTA font{};
  font.lfHeight = height;
  font.lfWidth = average_width;
  lstrcpynA(font.lfFaceName, face, LF_FACESIZE);
  return Of(CreateFontIndirectA(&font));
}
Handle GetStockObject(int which) { return Of(::GetStockObject(which)); }
Handle SelectObject(Handle dc, Handle object) {
  return Of(::SelectObject(Context(dc), Object(object)));
}
void DeleteObject(Handle object) { ::DeleteObject(Object(object)); }
std::uint32_t SetBkColor(Handle dc, std::uint32_t colour) {
  return ::SetBkColor(Context(dc), colour);
}
std::uint32_t SetTextColor(Handle dc, std::uint32_t colour) {
  return ::SetTextColor(Context(dc), colour);
}
void MoveTo(Handle dc, int x, int y) { MoveToEx(Context(dc), x, y, nullptr); }
void LineTo(Handle dc, int x, int y) { ::LineTo(Context(dc), x, y); }
bool TextOut(Handle dc, int x, int y, const char* text, int length) {
  return TextOutA(Context(dc), x, y, text, length) != 0;
}

// Dialog `resource_id` is a DIALOG resource of the module (controller.rc).
std::intptr_t DialogBox(Handle module, std::uint16_t resource_id, Handle owner, DialogProc proc) {
  const DialogProc previous = g_dialog_proc;
  g_dialog_proc = proc;
  const INT_PTR result =
      DialogBoxParamA(reinterpret_cast<HINSTANCE>(module), MAKEINTRESOURCEA(resource_id),
                      Window(owner), &DialogTrampoline, 0);
  g_dialog_proc = previous;
  return result;
}

std::uint32_t GetLastError() { return ::GetLastError(); }
void EndDialog(Handle dialog, std::intptr_t result) { ::EndDialog(Window(dialog), result); }
void SetDlgItemText(Handle dialog, int id, const char* text) {
  SetDlgItemTextA(Window(dialog), id, text);
}
std::uint32_t GetDlgItemText(Handle dialog, int id, char* buffer, int size) {
  return GetDlgItemTextA(Window(dialog), id, buffer, size);
}
void SetDlgItemInt(Handle dialog, int id, std::uint32_t value, bool is_signed) {
  ::SetDlgItemInt(Window(dialog), id, value, is_signed);
}
std::uint32_t GetDlgItemInt(Handle dialog, int id, bool* translated, bool is_signed) {
  BOOL ok = FALSE;
  const UINT value = ::GetDlgItemInt(Window(dialog), id, &ok, is_signed);
  if (translated != nullptr) *translated = ok != 0;
  return value;
}
void CheckDlgButton(Handle dialog, int id, std::uint32_t state) {
  ::CheckDlgButton(Window(dialog), id, state);
}
void CheckRadioButton(Handle dialog, int first_id, int last_id, int check_id) {
  ::CheckRadioButton(Window(dialog), first_id, last_id, check_id);
}
std::uint32_t IsDlgButtonChecked(Handle dialog, int id) {
  return ::IsDlgButtonChecked(Window(dialog), id);
}

}  // namespace plat
