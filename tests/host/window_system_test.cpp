// The host's window system as a plug-in calls it: a dialog's controls read
// and written through the ws_ functions, the way Win32 does.
#include "window_system.h"

#include <gtest/gtest.h>
#include <velastra/host_abi.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

struct IntCase {
  const char* text;
  int is_signed;
  std::uint32_t value;
  int translated;
};

// ws_GetDlgItemInt's rule: blanks, digits (a minus sign only when signed),
// blanks; anything else, or a number too large, is 0 and not translated.
const IntCase kInts[] = {
    {"4096", 0, 4096, 1},
    {"  12  ", 0, 12, 1},
    {"9", 0, 9, 1},
    {"12a", 0, 0, 0},
    {"", 0, 0, 0},
    {"-5", 0, 0, 0},
    {":", 0, 0, 0},
    {"/", 0, 0, 0},
    {"4294967295", 0, 4294967295u, 1},
    {"4294967296", 0, 0, 0},
    {"-5", 1, 0xFFFFFFFBu, 1},
    {"2147483647", 1, 2147483647u, 1},
    {"2147483648", 1, 0, 0},
    {"-2147483648", 1, 0x80000000u, 1},
    {"-2147483649", 1, 0, 0},
};

std::vector<std::string> g_seen;

intptr_t Procedure(ws_Handle dialog, std::uint32_t message, std::uintptr_t, intptr_t) {
  if (message != WS_WM_INITDIALOG) return 0;
  for (const IntCase& c : kInts) {
    ws_SetDlgItemText(dialog, 1000, c.text);
    std::int32_t translated = -1;
    const std::uint32_t value = ws_GetDlgItemInt(dialog, 1000, &translated, c.is_signed);
    g_seen.push_back(std::string(c.text) + (c.is_signed ? " signed" : "") + ": " +
                     std::to_string(value) + " " + std::to_string(translated));
  }
  ws_SetDlgItemInt(dialog, 1000, 4096, 0);
  char small[3] = "xx";
  g_seen.push_back(std::to_string(ws_GetDlgItemText(dialog, 1000, small, sizeof small)) + " " +
                   small);
  g_seen.push_back(std::to_string(ws_GetDlgItemText(dialog, 1000, nullptr, 10)));
  g_seen.push_back(std::to_string(ws_GetDlgItemText(dialog, 1000, small, 0)) + " " + small);
  ws_CheckDlgButton(dialog, 1002, WS_BST_CHECKED);
  ws_CheckRadioButton(dialog, 1004, 1005, 1005);
  g_seen.push_back(std::to_string(ws_IsDlgButtonChecked(dialog, 1002)) +
                   std::to_string(ws_IsDlgButtonChecked(dialog, 1004)) +
                   std::to_string(ws_IsDlgButtonChecked(dialog, 1005)) +
                   std::to_string(ws_IsDlgButtonChecked(dialog, 4242)));
  ws_EndDialog(dialog, 7);
  return 1;
}

TEST(HostWindowSystem, DialogControlsReadAndWriteAsWin32Does) {
  const ws_DialogControl controls[] = {
      {1000, WS_CONTROL_EDIT, "", 10, 10, 50, 14, 0},
      {1002, WS_CONTROL_AUTOCHECKBOX, "Invert", 70, 10, 30, 14, 0},
      {1004, WS_CONTROL_AUTORADIOBUTTON, "A", 10, 30, 30, 14, 0},
      {1005, WS_CONTROL_AUTORADIOBUTTON, "B", 50, 30, 30, 14, 0},
  };
  const ws_DialogTemplate dialog{101, "Test", "MS Sans Serif", 8, 120, 60, 0, 4, controls};
  g_seen.clear();
  EXPECT_EQ(ws_DialogBox(&dialog, 0, Procedure), 7);
  std::vector<std::string> expected;
  for (const IntCase& c : kInts) {
    expected.push_back(std::string(c.text) + (c.is_signed ? " signed" : "") + ": " +
                       std::to_string(c.value) + " " + std::to_string(c.translated));
  }
  expected.push_back("2 40");
  expected.push_back("0");
  expected.push_back("0 40");
  expected.push_back("1010");
  EXPECT_EQ(g_seen, expected);
  // A dialog that cannot be made: -1, and why.
  EXPECT_EQ(ws_DialogBox(nullptr, 0, Procedure), -1);
  EXPECT_EQ(ws_GetLastError(), 87u);
  EXPECT_EQ(ws_DialogBox(&dialog, 0, nullptr), -1);
}

intptr_t FormProcedure(ws_Handle dialog, std::uint32_t message, std::uintptr_t id, intptr_t) {
  if (message == WS_WM_COMMAND && id == WS_IDOK) {
    char text[16] = "";
    ws_GetDlgItemText(dialog, 1000, text, sizeof text);
    g_seen = {text};
    for (int box = 1002; box <= 1006; ++box) {
      g_seen.back() += " " + std::to_string(ws_IsDlgButtonChecked(dialog, box));
    }
    ws_EndDialog(dialog, WS_IDOK);
  }
  return 0;
}

// The dialog as a form in the terminal: a label longer than the dialog is
// cut at its right edge, one above or below it is not shown, a line that
// begins with a key sets that key's field even when it reads as a box's
// whole text, and a radio button clears its own group only.
TEST(HostWindowSystem, TheFormCutsLabelsAtItsEdgeAndTakesKeysFirst) {
  constexpr std::uint32_t kGroup = 0x00020000;  // WS_GROUP
  const ws_DialogControl controls[] = {
      {1000, WS_CONTROL_EDIT, "", 0, 4, 30, 8, 0},              // key a
      {1002, WS_CONTROL_AUTOCHECKBOX, "a b", 0, 20, 30, 8, 0},  // key b
      {1003, WS_CONTROL_STATIC, "0123456789abcdefghijklmnopqrstuvwxyz", 0, 36, 60, 8, 0},
      {1004, WS_CONTROL_AUTORADIOBUTTON, "A", 0, 52, 9, 8, 0},        // c
      {1005, WS_CONTROL_AUTORADIOBUTTON, "B", 15, 52, 9, 8, 0},       // d
      {1006, WS_CONTROL_AUTORADIOBUTTON, "C", 30, 52, 9, 8, kGroup},  // e, a group of its own
      {1007, WS_CONTROL_STATIC, "below", 0, 72, 30, 8, 0},
      {1008, WS_CONTROL_STATIC, "above", 0, -40, 30, 8, 0},
  };
  const ws_DialogTemplate dialog{102, "Form", "MS Sans Serif", 8, 60, 64, 0, 8, controls};
  host::Console console(true);
  host::Ws().Attach(&console, nullptr);
  host::Ws().QueueDialogInput({"a b", "d", "e", "c", "ok"});
  testing::internal::CaptureStdout();
  EXPECT_EQ(ws_DialogBox(&dialog, 0, FormProcedure), WS_IDOK);
  const std::string form = testing::internal::GetCapturedStdout();
  EXPECT_EQ(g_seen, (std::vector<std::string>{"b 0 0 1 0 1"}));
  EXPECT_NE(form.find("\n  0123456789abcdefghijk\n"), std::string::npos) << form;  // 21 columns
  EXPECT_EQ(form.find("lmn"), std::string::npos) << form;
  EXPECT_EQ(form.find("below"), std::string::npos) << form;
  EXPECT_EQ(form.find("above"), std::string::npos) << form;
  host::Ws().Attach(nullptr, nullptr);
}

// Keys run a to z, then A to Z: the 27th control is A.
TEST(HostWindowSystem, TheFormsKeysGoOnInCapitals) {
  std::vector<ws_DialogControl> boxes;
  for (std::uint16_t i = 0; i < 28; ++i) {
    boxes.push_back({static_cast<std::uint16_t>(2000 + i), WS_CONTROL_AUTOCHECKBOX, "box",
                     static_cast<std::int16_t>(i % 4 * 40), static_cast<std::int16_t>(i / 4 * 8),
                     36, 8, 0});
  }
  const ws_DialogTemplate dialog{103, "Keys", "MS Sans Serif", 8, 160, 60, 0, 28, boxes.data()};
  host::Ws().QueueDialogInput({"A", "ok"});
  g_seen.clear();
  ws_DialogBox(&dialog, 0, [](ws_Handle d, std::uint32_t message, std::uintptr_t id, intptr_t) {
    if (message == WS_WM_COMMAND && id == WS_IDOK) {
      g_seen = {std::to_string(ws_IsDlgButtonChecked(d, 2026)) +
                std::to_string(ws_IsDlgButtonChecked(d, 2027))};
      ws_EndDialog(d, WS_IDOK);
    }
    return intptr_t{0};
  });
  EXPECT_EQ(g_seen, (std::vector<std::string>{"10"}));
}

// The debug window's page as the plug-in draws on it, as GDI does: a line
// that runs off the page stops at its edge (nothing wraps onto the next
// row), and an object is deleted once.
TEST(HostWindowSystem, ThePageIsDrawnAndItsObjectsDeletedAsGdiDoes) {
  host::TextRenderer text;
  host::Ws().Attach(nullptr, &text);
  host::Ws().CreateDebugWindow(1, 1);  // as small as a registration may ask
  EXPECT_EQ(host::Ws().page()->width(), 1);
  EXPECT_EQ(host::Ws().page()->height(), 1);
  host::Ws().CreateDebugWindow(40, 20);
  const ws_Handle dc = ws_GetDC(host::WindowSystem::kDebugWindow);
  ASSERT_NE(dc, 0u);
  ws_SelectObject(dc, ws_GetStockObject(WS_WHITE_PEN));
  ws_MoveTo(dc, 30, 5);
  ws_LineTo(dc, 50, 5);  // off the right edge: x 30 to 39 on row 5
  ws_MoveTo(dc, 5, 10);
  ws_LineTo(dc, 5, 30);  // off the bottom: y 10 to 19
  const host::Canvas& page = *host::Ws().page();
  int white = 0;
  for (int y = 0; y < page.height(); ++y) {
    for (int x = 0; x < page.width(); ++x) white += page.Pixel(x, y) == host::Rgb{255, 255, 255};
  }
  EXPECT_EQ(white, 20);
  EXPECT_EQ(page.Pixel(39, 5), (host::Rgb{255, 255, 255}));
  // Text is drawn on its background from its top-left corner.
  ws_SetBkColor(dc, WS_RGB(0, 0, 255));
  EXPECT_EQ(ws_TextOut(dc, 10, 2, " ", 1), 1);
  EXPECT_EQ(page.Pixel(10, 2), (host::Rgb{0, 0, 255}));
  EXPECT_EQ(page.Pixel(9, 2), (host::Rgb{0, 0, 0}));
  EXPECT_EQ(ws_TextOut(dc, 10, 2, nullptr, 1), 0);

  const ws_Handle font = ws_CreateFont(-12, 0, "Arial");
  ASSERT_NE(font, 0u);
  EXPECT_EQ(ws_DeleteObject(font), 1);
  EXPECT_EQ(ws_DeleteObject(font), 0);
  EXPECT_EQ(ws_DeleteObject(0x7777), 0);
  EXPECT_EQ(ws_DeleteObject(ws_GetStockObject(WS_WHITE_PEN)), 1);  // harmless, and kept
  EXPECT_NE(ws_SelectObject(dc, ws_GetStockObject(WS_WHITE_PEN)), 0u);
  EXPECT_EQ(ws_ReleaseDC(host::WindowSystem::kDebugWindow, dc), 1);
}

}  // namespace
