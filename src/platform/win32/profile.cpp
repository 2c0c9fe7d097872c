// The user profile on Windows: win.ini through the profile calls.
#include "platform/platform.h"
#include "platform/win32/windows_api.h"

namespace plat {

void ProfileRead(const char* section, const char* key, const char* default_text, char* destination,
                 std::uint32_t size) {
  GetProfileStringA(section, key, default_text, destination, size);
}

void ProfileWrite(const char* section, const char* key, const char* text) {
  WriteProfileStringA(section, key, text);
}

}  // namespace plat
