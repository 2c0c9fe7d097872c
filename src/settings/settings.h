// Settings and configuration: the persisted settings with their derived
// constants, the configuration dialog and its sexagesimal conversions.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "state/state.h"

namespace ctl {

inline constexpr const char* kProfileSection = "ZazuvUzarDLL";

int LoadSettings();
int SaveSettings();
// Writes the keys as SaveSettings does; false when a write failed,
// with the first failure in `failure` (when given).
bool WriteSettings(plat::ProfileWriteFailure* failure);
// LoadSettings, except while the session holds settings that the profile
// could not take (a save failed): those stay in force, not the profile's
// older values.
int LoadSettingsUnlessUnsaved();

int OpenConfigDialog();
std::intptr_t ConfigDialogProc(plat::Handle dialog, std::uint32_t message, std::uintptr_t wparam,
                               std::intptr_t lparam);

struct Sexagesimal {
  std::int16_t leading = 0;  // hours or degrees, with the sign
  std::int16_t minutes = 0;
  std::int16_t seconds = 0;
  // Set when the angle is negative, also when the leading field is 0
  // (between -1 and 0 hours or degrees), so that "-00" can be shown.
  bool negative = false;
};

Sexagesimal RadiansToHMS(double angle);
Sexagesimal RadiansToDMS(double angle);
double HMSToRadians(std::int16_t hours, std::int16_t minutes, std::int16_t seconds);
double DMSToRadians(std::int16_t degrees, std::int16_t minutes, std::int16_t seconds);

}  // namespace ctl
