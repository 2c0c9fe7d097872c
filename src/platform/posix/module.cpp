// The module itself on Linux: its handle, its string resources and the
// low memory for records whose addresses travel in 32 bits.
#include <dlfcn.h>
#include <strings.h>
#include <sys/mman.h>

#include <algorithm>
#include <cstring>

#include "platform/platform.h"
#include "platform/posix/module_resources.h"

namespace plat {
namespace {

// Any address inside this module.
void ModuleMarker() {}

ModuleResources g_resources{};

const char* BaseName(const char* path) {
  const char* slash = std::strrchr(path, '/');
  return slash != nullptr ? slash + 1 : path;
}

}  // namespace

void UseModuleResources(const ModuleResources& resources) { g_resources = resources; }
const ModuleResources& ModuleResourcesInUse() { return g_resources; }

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
  const char* text = g_resources.find_string != nullptr ? g_resources.find_string(id) : nullptr;
  if (text == nullptr) {
    buffer[0] = '\0';
    return 0;
  }
  const std::size_t length = std::min(std::strlen(text), static_cast<std::size_t>(size - 1));
  std::memcpy(buffer, text, length);
  buffer[length] = '\0';
  return static_cast<int>(length);
}

namespace {

// Every byte of the block has a 32-bit address.
bool FitsIn32Bits(const void* block, std::uint32_t size) {
  constexpr std::uint64_t kEnd = 0x100000000ull;
  return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(block)) + size <= kEnd;
}

}  // namespace

void* AllocateLowMemory(std::uint32_t size) {
  constexpr int kFlags = MAP_PRIVATE | MAP_ANONYMOUS;
#if defined(MAP_32BIT)
  // x86-64 Linux places the mapping in the low 2 GiB when asked.
  void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE, kFlags | MAP_32BIT, -1, 0);
  if (block != MAP_FAILED) {
    if (FitsIn32Bits(block, size)) return block;
    munmap(block, size);
  }
#endif
  // Elsewhere, ask for addresses below 4 GiB as hints, from high to low.
  for (std::uintptr_t hint = 0xF0000000u; hint >= 0x10000000u; hint -= 0x10000000u) {
    void* at = mmap(reinterpret_cast<void*>(hint), size, PROT_READ | PROT_WRITE, kFlags, -1, 0);
    if (at == MAP_FAILED) continue;
    if (FitsIn32Bits(at, size)) return at;
    munmap(at, size);
  }
  return nullptr;
}

}  // namespace plat
