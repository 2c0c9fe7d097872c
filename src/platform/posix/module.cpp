// The module itself on Linux: its handle, its string resources and the
// low memory for records whose addresses travel in 32 bits.
#include <dlfcn.h>
#include <strings.h>
#include <sys/mman.h>

#include <algorithm>
#include <cstring>

#include "platform/platform.h"
#include "platform/resources.h"

namespace plat {
namespace {

// Any address inside this module.
void ModuleMarker() {}

const char* BaseName(const char* path) {
  const char* slash = std::strrchr(path, '/');
  return slash != nullptr ? slash + 1 : path;
}

}  // namespace

Handle ModuleHandleByName(const char* file_name) {
  Dl_info info{};
  if (file_name == nullptr || dladdr(reinterpret_cast<void*>(&ModuleMarker), &info) == 0 ||
      info.dli_fname == nullptr) {
    return 0;
  }
  // Module names compare without regard to letter case, as on Windows.
  if (strcasecmp(BaseName(info.dli_fname), file_name) != 0) return 0;
  return reinterpret_cast<Handle>(info.dli_fbase);
}

int LoadStringResource(Handle /*module*/, std::uint32_t id, char* buffer, int size) {
  if (buffer == nullptr || size <= 0) return 0;
  const char* text = res::FindString(id);
  if (text == nullptr) {
    buffer[0] = '\0';
    return 0;
  }
  const std::size_t length = std::min(std::strlen(text), static_cast<std::size_t>(size - 1));
  std::memcpy(buffer, text, length);
  buffer[length] = '\0';
  return static_cast<int>(length);
}

void* AllocateLowMemory(std::uint32_t size) {
  int flags = MAP_PRIVATE | MAP_ANONYMOUS;
#if defined(MAP_32BIT)
  flags |= MAP_32BIT;
#endif
  void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE, flags, -1, 0);
  if (block == MAP_FAILED) return nullptr;
  if (reinterpret_cast<std::uintptr_t>(block) > 0xFFFFFFFFu - size) {
    munmap(block, size);
    return nullptr;
  }
  return block;
}

}  // namespace plat
