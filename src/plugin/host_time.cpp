// Operation 34 and the day number that runs on with the tick count.
#include <cstring>

#include "plugin/bytes.h"
#include "plugin/plugin.h"

namespace ctl {
namespace {
constexpr double kMillisecondsPerDay = 86400000.0;
}

void SetHostTime(const std::uint8_t* block) {
  PluginState& state = State();
  state.host_time.day_number = bytes::F64(block, VL_TIME_DAY_NUMBER);
  std::memcpy(state.host_time.carried, block + VL_TIME_CARRIED, sizeof state.host_time.carried);
  state.tick_base = plat::TickCount();
}

void AdvanceDayNumber(std::uint32_t tick) {
  PluginState& state = State();
  // Modulo 2^32, so a tick count that wrapped still gives the time between.
  const std::uint32_t elapsed = tick - state.tick_base;
  state.host_time.day_number = state.host_time.day_number + elapsed / kMillisecondsPerDay;
  state.tick_base = tick;
}

}  // namespace ctl
