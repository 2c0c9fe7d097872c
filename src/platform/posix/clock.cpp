// Tick count and time since load on Linux.
#include <time.h>

#include "platform/platform.h"

namespace plat {
namespace {

std::uint64_t NowMilliseconds(clockid_t clock) {
  timespec ts{};
  clock_gettime(clock, &ts);
  return static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
         static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
}

// Taken when the library's static data is initialised, that is when it is loaded.
const std::uint64_t g_loaded_at = NowMilliseconds(CLOCK_REALTIME);

}  // namespace

// Milliseconds since system start, counting through suspend as GetTickCount
// does, so the day number keeps up with the sky after the machine sleeps.
std::uint32_t TickCount() { return static_cast<std::uint32_t>(NowMilliseconds(CLOCK_BOOTTIME)); }

std::uint64_t MillisecondsSinceLoad() {
  const std::uint64_t now = NowMilliseconds(CLOCK_REALTIME);
  return now >= g_loaded_at ? now - g_loaded_at : 0;
}

}  // namespace plat
