// The window system on Linux belongs to the host: every call goes to the
// host's ws_ functions (include/velastra/host_abi.h).
#include <velastra/host_abi.h>

#include "platform/platform.h"
#include "platform/posix/module_resources.h"

namespace plat {
namespace {

// Windows' ERROR_RESOURCE_NAME_NOT_FOUND.
constexpr std::uint32_t kResourceNotFound = 1814;
constexpr std::uint16_t kMaxControls = 64;

// The dialog's own procedure, reached through a C-linkage trampoline.
DialogProc g_dialog_proc = nullptr;
std::uint32_t g_local_error = 0;

extern "C" intptr_t DialogTrampoline(ws_Handle dialog, uint32_t message, uintptr_t wparam,
                                     intptr_t lparam) {
  return g_dialog_proc != nullptr ? g_dialog_proc(dialog, message, wparam, lparam) : 0;
}

}  // namespace

int MessageBox(Handle owner, const char* text, const char* caption, std::uint32_t style) {
  return ws_MessageBox(owner, text, caption, style);
}
Handle GetFocus() { return ws_GetFocus(); }
void AppendMenu(Handle menu, std::uint32_t flags, std::uint32_t id, const char* text) {
  ws_AppendMenu(menu, flags, id, text);
}
bool IsWindowVisible(Handle window) { return ws_IsWindowVisible(window) != 0; }

Handle GetDC(Handle window) { return ws_GetDC(window); }
void ReleaseDC(Handle window, Handle dc) { ws_ReleaseDC(window, dc); }
Handle CreateFont(std::int32_t height, std::int32_t average_width, const char* face) {
  return ws_CreateFont(height, average_width, face);
}
Handle GetStockObject(int which) { return ws_GetStockObject(which); }
Handle SelectObject(Handle dc, Handle object) { return ws_SelectObject(dc, object); }
void DeleteObject(Handle object) { ws_DeleteObject(object); }
std::uint32_t SetBkColor(Handle dc, std::uint32_t colour) { return ws_SetBkColor(dc, colour); }
std::uint32_t SetTextColor(Handle dc, std::uint32_t colour) { return ws_SetTextColor(dc, colour); }
void MoveTo(Handle dc, int x, int y) { ws_MoveTo(dc, x, y); }
void LineTo(Handle dc, int x, int y) { ws_LineTo(dc, x, y); }
bool TextOut(Handle dc, int x, int y, const char* text, int length) {
  return ws_TextOut(dc, x, y, text, length) != 0;
}

std::intptr_t DialogBox(Handle /*module*/, std::uint16_t resource_id, Handle owner,
                        DialogProc proc) {
  g_local_error = 0;
  const auto find = ModuleResourcesInUse().find_dialog;
  const DialogTemplate* found = find != nullptr ? find(resource_id) : nullptr;
  if (found == nullptr || found->count > kMaxControls) {
    g_local_error = kResourceNotFound;
    return -1;
  }
  ws_DialogControl controls[kMaxControls];
  for (std::uint16_t i = 0; i < found->count; ++i) {
    const DialogControl& c = found->controls[i];
    controls[i] = ws_DialogControl{
        c.id, static_cast<uint16_t>(c.kind), c.text, c.x, c.y, c.width, c.height, c.style};
  }
  const ws_DialogTemplate dialog{found->id,         found->caption, found->font,
                                 found->point_size, found->width,   found->height,
                                 found->style,      found->count,   controls};
  DialogProc previous = g_dialog_proc;
  g_dialog_proc = proc;
  const intptr_t result = ws_DialogBox(&dialog, owner, &DialogTrampoline);
  g_dialog_proc = previous;
  return result;
}

std::uint32_t GetLastError() { return g_local_error != 0 ? g_local_error : ws_GetLastError(); }
void EndDialog(Handle dialog, std::intptr_t result) { ws_EndDialog(dialog, result); }
void SetDlgItemText(Handle dialog, int id, const char* text) {
  ws_SetDlgItemText(dialog, id, text);
}
std::uint32_t GetDlgItemText(Handle dialog, int id, char* buffer, int size) {
  return ws_GetDlgItemText(dialog, id, buffer, size);
}
void SetDlgItemInt(Handle dialog, int id, std::uint32_t value, bool is_signed) {
  ws_SetDlgItemInt(dialog, id, value, is_signed);
}
std::uint32_t GetDlgItemInt(Handle dialog, int id, bool* translated, bool is_signed) {
  int32_t ok = 0;
  const std::uint32_t value = ws_GetDlgItemInt(dialog, id, &ok, is_signed);
  if (translated != nullptr) *translated = ok != 0;
  return value;
}
void CheckDlgButton(Handle dialog, int id, std::uint32_t state) {
  ws_CheckDlgButton(dialog, id, state);
}
void CheckRadioButton(Handle dialog, int first_id, int last_id, int check_id) {
  ws_CheckRadioButton(dialog, first_id, last_id, check_id);
}
std::uint32_t IsDlgButtonChecked(Handle dialog, int id) {
  return ws_IsDlgButtonChecked(dialog, id);
}

}  // namespace plat
