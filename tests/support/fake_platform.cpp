#include "fake_platform.h"

#include <vector>

#include "platform/platform.h"
#include "plugin/resources.h"
#include "window_system_model.h"

namespace fake {
namespace {
// The Linux platform layer finds the module's strings only once they are
// handed over, as the library's entry does when it is loaded.
const bool g_resources_handed_over = [] {
  plat::UseModuleResources({&res::FindString, &res::FindDialog});
  return true;
}();
std::uint32_t g_tick = 5'000'000;
std::uint64_t g_since_load = 0;
int g_tick_reads = 0;
}  // namespace

void SetTickCount(std::uint32_t tick) { g_tick = tick; }
void AdvanceTicks(std::uint32_t milliseconds) { g_tick += milliseconds; }
std::uint32_t Ticks() { return g_tick; }
void SetMillisecondsSinceLoad(std::uint64_t milliseconds) { g_since_load = milliseconds; }
int TickReads() { return g_tick_reads; }

}  // namespace fake

namespace plat {

std::uint32_t TickCount() {
  ++fake::g_tick_reads;
  return fake::g_tick;
}
std::uint64_t MillisecondsSinceLoad() { return fake::g_since_load; }

int MessageBox(Handle owner, const char* text, const char* caption, std::uint32_t style) {
  return wsm::MessageBox(owner, text, caption, style);
}
Handle GetFocus() { return wsm::GetFocus(); }
void AppendMenu(Handle menu, std::uint32_t flags, std::uint32_t id, const char* text) {
  wsm::AppendMenu(menu, flags, id, text);
}
bool IsWindowVisible(Handle window) { return wsm::IsWindowVisible(window) != 0; }
Handle GetDC(Handle window) { return wsm::GetDC(window); }
void ReleaseDC(Handle window, Handle dc) { wsm::ReleaseDC(window, dc); }
Handle CreateFont(std::int32_t height, std::int32_t average_width, const char* face) {
  return wsm::CreateFont(height, average_width, face);
}
Handle GetStockObject(int which) { return wsm::GetStockObject(which); }
Handle SelectObject(Handle dc, Handle object) { return wsm::SelectObject(dc, object); }
void DeleteObject(Handle object) { wsm::DeleteObject(object); }
std::uint32_t SetBkColor(Handle dc, std::uint32_t colour) { return wsm::SetBkColor(dc, colour); }
std::uint32_t SetTextColor(Handle dc, std::uint32_t colour) {
  return wsm::SetTextColor(dc, colour);
}
void MoveTo(Handle dc, int x, int y) { wsm::MoveTo(dc, x, y); }
void LineTo(Handle dc, int x, int y) { wsm::LineTo(dc, x, y); }
bool TextOut(Handle dc, int x, int y, const char* text, int length) {
  return wsm::TextOut(dc, x, y, text, length) != 0;
}

std::intptr_t DialogBox(Handle /*module*/, std::uint16_t resource_id, Handle owner,
                        DialogProc proc) {
  const DialogTemplate* dialog = res::FindDialog(resource_id);
  if (dialog == nullptr) return -1;
  std::vector<wsm::ControlSpec> controls;
  for (std::uint16_t i = 0; i < dialog->count; ++i) {
    const DialogControl& c = dialog->controls[i];
    controls.push_back({c.id, static_cast<std::uint16_t>(c.kind), c.text, c.style});
  }
  return wsm::DialogBox(dialog->caption, controls, owner, proc);
}
std::uint32_t GetLastError() { return wsm::GetLastError(); }
void EndDialog(Handle dialog, std::intptr_t result) { wsm::EndDialog(dialog, result); }
void SetDlgItemText(Handle dialog, int id, const char* text) {
  wsm::SetDlgItemText(dialog, id, text);
}
std::uint32_t GetDlgItemText(Handle dialog, int id, char* buffer, int size) {
  return wsm::GetDlgItemText(dialog, id, buffer, size);
}
void SetDlgItemInt(Handle dialog, int id, std::uint32_t value, bool is_signed) {
  wsm::SetDlgItemInt(dialog, id, value, is_signed ? 1 : 0);
}
std::uint32_t GetDlgItemInt(Handle dialog, int id, bool* translated, bool is_signed) {
  int ok = 0;
  const std::uint32_t value = wsm::GetDlgItemInt(dialog, id, &ok, is_signed ? 1 : 0);
  if (translated != nullptr) *translated = ok != 0;
  return value;
}
void CheckDlgButton(Handle dialog, int id, std::uint32_t state) {
  wsm::CheckDlgButton(dialog, id, state);
}
void CheckRadioButton(Handle dialog, int first_id, int last_id, int check_id) {
  wsm::CheckRadioButton(dialog, first_id, last_id, check_id);
}
std::uint32_t IsDlgButtonChecked(Handle dialog, int id) {
  return wsm::IsDlgButtonChecked(dialog, id);
}

}  // namespace plat
