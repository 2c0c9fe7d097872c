/* The DLL's real entry point.  The module is built for SSE2 (its doubles are
 * rounded as on the 64-bit Linux build), and the C runtime's start-up runs
 * static constructors built that way before DllMain.  This entry point comes
 * first: it is built without SSE2, asks the processor, and refuses to attach
 * on one without SSE2, so that the host's LoadLibrary fails cleanly instead
 * of the host dying of an illegal instruction.  Otherwise it hands every
 * notification to the runtime's own entry point, DllMainCRTStartup, which
 * runs the static constructors and then DllMain (win32.cpp). */
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "platform/win32/attach_check.h"

BOOL WINAPI DllMainCRTStartup(HANDLE instance, DWORD reason, LPVOID reserved);
BOOL WINAPI ControllerEntry(HANDLE instance, DWORD reason, LPVOID reserved);

static int g_refused;

BOOL WINAPI ControllerEntry(HANDLE instance, DWORD reason, LPVOID reserved) {
  const int sse2 =
      reason == DLL_PROCESS_ATTACH && IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE);
  switch (DecideAttach(reason, sse2, &g_refused)) {
    case kAttachRefuse:
      return FALSE;
    case kAttachIgnore:
      return TRUE;
    default:
      return DllMainCRTStartup(instance, reason, reserved);
  }
}
