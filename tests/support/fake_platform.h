// Fakes of the platform seam for unit tests of the core: a clock the test
// sets, and the recording window system.  The serial port, the profile file
// and the module are the real Linux ones.
#pragma once

#include <cstdint>

namespace fake {

void SetTickCount(std::uint32_t tick);
void AdvanceTicks(std::uint32_t milliseconds);
std::uint32_t Ticks();
void SetMillisecondsSinceLoad(std::uint64_t milliseconds);
// Counts the clock reads, so tests can tell an operation read nothing else.
int TickReads();

}  // namespace fake
