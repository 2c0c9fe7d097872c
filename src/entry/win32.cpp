// The library's entry on Windows, as the C runtime's start-up calls it once
// win32_attach.c has let the attach go on: process attach hands over the
// module instance; every other notification is ignored, and each one
// reports success.  The string table and dialog 101 are the module's own
// resources there (controller.rc), so nothing is handed to the platform layer.
#include "platform/win32/windows_api.h"
#include "state/state.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) ctl::OnProcessAttach(reinterpret_cast<plat::Handle>(instance));
  return TRUE;
}
