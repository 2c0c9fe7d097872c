// Tick count and time since load on Windows.
#include "platform/platform.h"
#include "platform/win32/windows_api.h"

namespace plat {
namespace {

// Wall-clock milliseconds (FILETIME counts 100 ns).
std::uint64_t WallMilliseconds() {
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  const std::uint64_t ticks =
      (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  return ticks / 10000u;
}

// Taken when the library's static data is initialised, that is when it is loaded.
const std::uint64_t g_loaded_at = WallMilliseconds();

}  // namespace

std::uint32_t TickCount() { return GetTickCount(); }

std::uint64_t MillisecondsSinceLoad() {
  const std::uint64_t now = WallMilliseconds();
  return now >= g_loaded_at ? now - g_loaded_at : 0;
}

}  // namespace plat
