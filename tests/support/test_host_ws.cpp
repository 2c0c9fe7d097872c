// The test host's window system: the ws_ functions of the host ABI, exported
// from the test executable so that the loaded plug-in resolves against them.
#include <velastra/host_abi.h>

#include "window_system_model.h"

extern "C" {

int32_t ws_MessageBox(ws_Handle owner, const char* text, const char* caption, uint32_t style) {
  return wsm::MessageBox(owner, text, caption, style);
}
ws_Handle ws_GetFocus(void) { return wsm::GetFocus(); }
int32_t ws_AppendMenu(ws_Handle menu, uint32_t flags, uint32_t id, const char* text) {
  return wsm::AppendMenu(menu, flags, id, text);
}
int32_t ws_IsWindowVisible(ws_Handle window) { return wsm::IsWindowVisible(window); }
ws_Handle ws_GetDC(ws_Handle window) { return wsm::GetDC(window); }
int32_t ws_ReleaseDC(ws_Handle window, ws_Handle dc) { return wsm::ReleaseDC(window, dc); }
ws_Handle ws_CreateFont(int32_t height, int32_t average_width, const char* face) {
  return wsm::CreateFont(height, average_width, face);
}
ws_Handle ws_GetStockObject(int32_t which) { return wsm::GetStockObject(which); }
ws_Handle ws_SelectObject(ws_Handle dc, ws_Handle object) { return wsm::SelectObject(dc, object); }
int32_t ws_DeleteObject(ws_Handle object) { return wsm::DeleteObject(object); }
uint32_t ws_SetBkColor(ws_Handle dc, uint32_t colour) { return wsm::SetBkColor(dc, colour); }
uint32_t ws_SetTextColor(ws_Handle dc, uint32_t colour) { return wsm::SetTextColor(dc, colour); }
int32_t ws_MoveTo(ws_Handle dc, int32_t x, int32_t y) { return wsm::MoveTo(dc, x, y); }
int32_t ws_LineTo(ws_Handle dc, int32_t x, int32_t y) { return wsm::LineTo(dc, x, y); }
int32_t ws_TextOut(ws_Handle dc, int32_t x, int32_t y, const char* text, int32_t length) {
  return wsm::TextOut(dc, x, y, text, length);
}

intptr_t ws_DialogBox(const ws_DialogTemplate* dialog, ws_Handle owner, ws_DialogProc proc) {
  if (dialog == nullptr || proc == nullptr) return -1;
  std::vector<wsm::ControlSpec> controls;
  for (uint16_t i = 0; i < dialog->count; ++i) {
    const ws_DialogControl& c = dialog->controls[i];
    controls.push_back({c.id, c.kind, c.text, c.style});
  }
  return wsm::DialogBox(dialog->caption, controls, owner, proc);
}
uint32_t ws_GetLastError(void) { return wsm::GetLastError(); }
int32_t ws_EndDialog(ws_Handle dialog, intptr_t result) { return wsm::EndDialog(dialog, result); }
int32_t ws_SetDlgItemText(ws_Handle dialog, int32_t id, const char* text) {
  return wsm::SetDlgItemText(dialog, id, text);
}
uint32_t ws_GetDlgItemText(ws_Handle dialog, int32_t id, char* buffer, int32_t size) {
  return wsm::GetDlgItemText(dialog, id, buffer, size);
}
int32_t ws_SetDlgItemInt(ws_Handle dialog, int32_t id, uint32_t value, int32_t is_signed) {
  return wsm::SetDlgItemInt(dialog, id, value, is_signed);
}
uint32_t ws_GetDlgItemInt(ws_Handle dialog, int32_t id, int32_t* translated, int32_t is_signed) {
  int ok = 0;
  const uint32_t value = wsm::GetDlgItemInt(dialog, id, &ok, is_signed);
  if (translated != nullptr) *translated = ok;
  return value;
}
int32_t ws_CheckDlgButton(ws_Handle dialog, int32_t id, uint32_t state) {
  return wsm::CheckDlgButton(dialog, id, state);
}
int32_t ws_CheckRadioButton(ws_Handle dialog, int32_t first_id, int32_t last_id, int32_t check_id) {
  return wsm::CheckRadioButton(dialog, first_id, last_id, check_id);
}
uint32_t ws_IsDlgButtonChecked(ws_Handle dialog, int32_t id) {
  return wsm::IsDlgButtonChecked(dialog, id);
}

}  // extern "C"
