// The calibration list: up to eight objects, looked up by name.  The list is
// the fixed array in the plug-in state; nothing here allocates.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "calibration/calibration.h"
#include "calibration/messages.h"
#include "platform/platform.h"
#include "pointing/pointing.h"

namespace ctl {
namespace {

constexpr std::size_t kBoxTextSize = 512;

// A refusal: a warning box with an OK button, no owner, not system-modal.
void Warn(const char* text, const char* caption) {
  plat::MessageBox(0, text, caption, plat::kMbOk | plat::kMbIconWarning);
}

// A refusal naming the object.  The name is an argument of the text, never a
// format of its own, so a name with '%' signs appears as it is.
void WarnWithName(const char* text, const char* name, const char* caption) {
  char buffer[kBoxTextSize];
  std::snprintf(buffer, sizeof buffer, text, name);
  Warn(buffer, caption);
}

}  // namespace

std::int16_t FindCalibrationEntry(const char* name) {
  const CalibrationList& list = State().calibration;
  for (std::int32_t i = 0; i < list.count; ++i) {
    if (std::strcmp(list.entries[i].name, name) == 0) return static_cast<std::int16_t>(i);
  }
  return -1;
}

int AddCalibrationEntry(const CalibrationEntry& entry) {
  CalibrationList& list = State().calibration;
  // The full list is refused first, even for a name already on it.
  if (list.count >= kCalibrationCapacity) {
    Warn(msg::kListFullText, msg::kListFullCaption);
    return -1;
  }
  if (FindCalibrationEntry(entry.name) >= 0) {
    WarnWithName(msg::kDuplicateText, entry.name, msg::kDuplicateCaption);
    return -1;
  }
  const std::int32_t index = list.count;
  list.entries[index] = entry;
  // The sky position the host gave is kept whole: sightings on an
  // alt-azimuth mount convert it afresh.
  list.entries[index].sky1 = entry.catalogue1;
  list.entries[index].sky2 = entry.catalogue2;
  list.entries[index].drift = 0.0;
  ++list.count;
  return index;
}

int RemoveCalibrationEntry(const char* name) {
  CalibrationList& list = State().calibration;
  if (list.count == 0) {
    Warn(msg::kRemoveEmptyText, msg::kEmptyListCaption);
    return -1;
  }
  const int found = FindCalibrationEntry(name);
  if (found < 0) {
    WarnWithName(msg::kRemoveNotFoundText, name, msg::kNotFoundCaption);
    return -1;
  }
  // Whole entries move one slot down, so the rest keep their order.
  std::copy(list.entries + found + 1, list.entries + list.count, list.entries + found);
  const std::int32_t before = list.count;
  --list.count;
  return before;
}

namespace {

int Sight(const char* name, double encoder1, double encoder2, const double* counts) {
  PluginState& state = State();
  CalibrationList& list = state.calibration;
  if (list.count == 0) {
    Warn(msg::kSightEmptyText, msg::kEmptyListCaption);
    return -1;
  }
  const int found = FindCalibrationEntry(name);
  if (found < 0) {
    WarnWithName(msg::kSightNotFoundText, name, msg::kNotFoundCaption);
    return -1;
  }
  CalibrationEntry& entry = list.entries[found];
  // An alt-azimuth mount measures azimuth and altitude: the object's sky
  // position is turned into the horizon frame for the time of this
  // sighting, every time (the sky turns between two sightings, so a horizon
  // position from an earlier one would not match the new encoder angles).
  if (state.settings.MountType == kAltAzimuth) {
    const SphericalTriple horizon = EquatorialToHorizon(state.host_context, entry.sky1, entry.sky2);
    entry.catalogue1 = horizon.longitude;
    entry.catalogue2 = horizon.latitude;
  }
  entry.encoder1 = encoder1;
  entry.encoder2 = encoder2;
  entry.drift = DriftTerm(state.settings);
  // The counters' turned angles and the reference they count from: the
  // box's counts when there are any, else the angles less the reference
  // and the drift, within half a turn of no turn at all.
  const bool alt_azimuth = state.settings.MountType == kAltAzimuth;
  entry.ref1 = alt_azimuth ? state.settings.HorizonAz : state.settings.RefRA;
  entry.ref2 = alt_azimuth ? state.settings.HorizonAlt : state.settings.RefDec;
  if (counts != nullptr) {
    entry.turned1 = counts[0] * state.RadPerCountRA;
    entry.turned2 = counts[1] * state.RadPerCountDec;
  } else {
    entry.turned1 = std::remainder(encoder1 - entry.ref1 - entry.drift, kTwoPi);
    entry.turned2 = std::remainder(encoder2 - entry.ref2, kTwoPi);
  }
  entry.counted = counts != nullptr ? 1 : 0;
  entry.sighted = 1;
  return found;
}

}  // namespace

int SightCalibrationEntry(const char* name, double encoder1, double encoder2) {
  return Sight(name, encoder1, encoder2, nullptr);
}

int SightCalibrationEntry(const char* name, double encoder1, double encoder2, double count1,
                          double count2) {
  const double counts[] = {count1, count2};
  return Sight(name, encoder1, encoder2, counts);
}

}  // namespace ctl
