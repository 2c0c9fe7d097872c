// The module on Windows: its handle and string resources, and memory for
// the plug-in-owned records.  (The loader's notification is the library's
// entry, src/entry/win32.cpp.)
#include "platform/platform.h"
#include "platform/win32/windows_api.h"

namespace plat {

Handle ModuleHandleByName(const char* file_name) {
  return reinterpret_cast<Handle>(GetModuleHandleA(file_name));
}

int LoadStringResource(Handle module, std::uint32_t id, char* buffer, int size) {
  return LoadStringA(reinterpret_cast<HINSTANCE>(module), id, buffer, size);
}

// A 32-bit process has no addresses above 4 GiB: committed pages, zeroed by
// the system, kept for the life of the process.
void* AllocateLowMemory(std::uint32_t size) {
  return VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

}  // namespace plat
