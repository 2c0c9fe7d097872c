// The user profile on Windows: win.ini through the profile calls.
#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "platform/win32/windows_api.h"

namespace plat {
namespace {

// The file the profile calls write: win.ini in the Windows folder (under UAC
// virtualisation the system redirects it, which the program cannot see).
void DescribeFailure(DWORD error, ProfileWriteFailure& failure) {
  char folder[MAX_PATH] = {};
  const UINT length = GetWindowsDirectoryA(folder, sizeof folder);
  std::snprintf(failure.file, sizeof failure.file, "%s\\win.ini",
                length > 0 && length < sizeof folder ? folder : "%windir%");
  const DWORD written =
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                     failure.reason, sizeof failure.reason, nullptr);
  if (written == 0) {
    std::snprintf(failure.reason, sizeof failure.reason, "Error %lu.",
                  static_cast<unsigned long>(error));
    return;
  }
  // The system's texts end with a line break.
  std::size_t end = std::strlen(failure.reason);
  while (end > 0 && (failure.reason[end - 1] == '\r' || failure.reason[end - 1] == '\n' ||
                     failure.reason[end - 1] == ' ')) {
    failure.reason[--end] = '\0';
  }
}

}  // namespace

void ProfileRead(const char* section, const char* key, const char* default_text, char* destination,
                 std::uint32_t size) {
  GetProfileStringA(section, key, default_text, destination, size);
}

bool ProfileWrite(const char* section, const char* key, const char* text,
                  ProfileWriteFailure* failure) {
  if (WriteProfileStringA(section, key, text)) return true;
  const DWORD error = ::GetLastError();
  if (failure != nullptr) DescribeFailure(error, *failure);
  return false;
}

}  // namespace plat
