// "Calibrate Telescope" with the mount model: the sighted objects into the
// fit, the fitted model into the plug-in state, and the result box.
#include <cmath>
#include <cstdio>

#include "calibration/calibration.h"
#include "calibration/messages.h"
#include "platform/platform.h"
#include "pointing/mount_model.h"

namespace ctl {
namespace {

constexpr std::size_t kBoxTextSize = 1024;
constexpr double kArcminutesPerRadian = 180.0 * 60.0 / kPi;

void Fail(const char* text) {
  plat::MessageBox(0, text, msg::kCalibrationFailedCaption,
                   plat::kMbOk | plat::kMbIconError | plat::kMbSystemModal);
}

// Appends a formatted line to the box text, cut safely at its end.
template <typename... Args>
void Append(char* text, std::size_t& used, const char* format, Args... args) {
  if (used >= kBoxTextSize) return;
  const int written = std::snprintf(text + used, kBoxTextSize - used, format, args...);
  if (written > 0) used += static_cast<std::size_t>(written);
  if (used >= kBoxTextSize) used = kBoxTextSize - 1;
}

double TermValue(const MountModel& m, int term) {
  switch (term) {
    case kTermIndex:
      return m.index;
    case kTermNonperpendicular:
      return m.nonperpendicularity;
    case kTermCollimation:
      return m.collimation;
    case kTermScale1:
      return m.scale1;
    default:
      return m.scale2;
  }
}

void ShowResult(const MountFit& fit, int count, bool alt_azimuth) {
  const MountModel& m = fit.model;
  char text[kBoxTextSize];
  std::size_t used = 0;
  text[0] = '\0';
  Append(text, used, msg::kMountResultHead, count);
  // The rotation, as the two figures a user can check on the mount: how far
  // the first axis stands from the frame's pole, and its zero's offset.
  const double tilt = std::acos(std::fmin(1.0, std::fabs(m.rotation[2][2])));
  const double zero =
      std::atan2(m.rotation[1][0] - m.rotation[0][1], m.rotation[0][0] + m.rotation[1][1]);
  Append(text, used, alt_azimuth ? msg::kMountTiltAltAzimuth : msg::kMountTiltEquatorial,
         tilt * kArcminutesPerRadian);
  Append(text, used, msg::kMountZeroOffset, zero * kArcminutesPerRadian);
  bool any_left_out = false;
  for (int t = 0; t < kMountTermCount; ++t) {
    if (!fit.admitted[t]) {
      any_left_out = true;
      continue;
    }
    const bool scale = t == kTermScale1 || t == kTermScale2;
    if (scale) {
      Append(text, used, msg::kMountTermPercent, msg::kMountTermNames[t], 100.0 * TermValue(m, t));
    } else {
      Append(text, used, msg::kMountTermAngle, msg::kMountTermNames[t],
             TermValue(m, t) * kArcminutesPerRadian);
    }
  }
  if (any_left_out) {
    Append(text, used, "%s", msg::kMountLeftOutHead);
    for (int t = 0; t < kMountTermCount; ++t) {
      if (!fit.admitted[t]) Append(text, used, "\n  %s", msg::kMountTermNames[t]);
    }
  } else {
    Append(text, used, "%s", msg::kMountLeftOutNone);
  }
  Append(text, used, msg::kMountResidual, fit.rms * kArcminutesPerRadian);
  plat::MessageBox(0, text, msg::kResultCaption,
                   plat::kMbOk | plat::kMbIconInformation | plat::kMbSystemModal);
}

}  // namespace

void CalibrateMountModel() {
  PluginState& state = State();
  const CalibrationList& list = state.calibration;
  const bool alt_azimuth = state.settings.MountType == kAltAzimuth;
  const int n = list.count;
  if (n < 2) {
    plat::MessageBox(plat::GetFocus(), msg::kTooFewForLineText, msg::kMissingDataCaption,
                     plat::kMbOk | plat::kMbIconError | plat::kMbSystemModal);
    return;
  }

  // Each object where the mount's frame sees it: the horizon position on an
  // alt-azimuth mount, the sky position turned back by the drift of its
  // sighting on an equatorial one.
  MountSighting sightings[kCalibrationCapacity];
  for (int i = 0; i < n; ++i) {
    const CalibrationEntry& e = list.entries[i];
    MountSighting& s = sightings[i];
    s.ref1 = e.ref1;
    s.ref2 = e.ref2;
    s.turned1 = e.turned1;
    s.turned2 = e.turned2;
    s.longitude = alt_azimuth ? e.catalogue1 : e.catalogue1 - e.drift;
    s.latitude = e.catalogue2;
  }
  // Whole-count rounding of the coarser counter.
  const double noise =
      std::fmax(std::fabs(state.RadPerCountRA), std::fabs(state.RadPerCountDec)) / std::sqrt(12.0);
  const MountFit fit = FitMountModel(sightings, n, noise);
  switch (fit.outcome) {
    case MountFitOutcome::kFitted:
      break;
    case MountFitOutcome::kTooFew:
    case MountFitOutcome::kUndetermined:
      Fail(msg::kMountUndeterminedText);
      return;
    case MountFitOutcome::kNotFinite:
      Fail(msg::kMountNotFiniteText);
      return;
  }
  state.mount = fit.model;
  ShowResult(fit, n, alt_azimuth);
}

}  // namespace ctl
