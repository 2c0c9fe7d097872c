// <windows.h> for the Windows platform layer.  The seam's names (MessageBox,
// DialogBox, TextOut, ...) are also the names of Win32 macros that pick the
// ANSI or wide function; the layer calls the ANSI ("A") functions by their
// own names, so the macros go.  Private to src/platform/win32.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#undef MessageBox
#undef AppendMenu
#undef CreateFont
#undef DialogBox
#undef SetDlgItemText
#undef GetDlgItemText
#undef TextOut
