// The pointing correction: the uncorrected angles of a query to the
// corrected position, by the six coefficients or the mount model.
#include <cmath>

#include "pointing/mount_model.h"
#include "pointing/pointing.h"

namespace ctl {
namespace {

// The angle a taken within [cut, cut + 2π] by whole turns; an angle already
// there stays exactly as it is.
double OnBranch(double a, double cut) {
  if (!std::isfinite(a)) return a;
  if (a < cut) a += kTwoPi * std::ceil((cut - a) / kTwoPi);
  if (a > cut + kTwoPi) a -= kTwoPi * std::ceil((a - cut - kTwoPi) / kTwoPi);
  return a;
}

// The six coefficients: they apply on the branch of the circle they were
// fitted on, and on an equatorial mount to the first angle without its
// drift term (see CalibrateTelescope); the drift goes back on afterwards.
void CorrectByAxes(const PluginState& state, const EncoderRecord& record, double drift,
                   double& first, double& second) {
  const PointingCoefficients& c = state.pointing;
  const Settings& s = state.settings;
  const double reference1 = s.MountType == kAltAzimuth ? s.HorizonAz : s.RefRA;
  const double x =
      state.branch.counted1 != 0
          ? reference1 + record.count1 * state.RadPerCountRA
          : OnBranch(drift != 0.0 ? record.angle1 - drift : record.angle1, state.branch.cut1);
  const double y = OnBranch(record.angle2, state.branch.cut2);
  first = (c.RA * x) * x + c.RB * x + c.RC;
  second = (c.DA * y) * y + c.DB * y + c.DC;
  if (drift != 0.0) first += drift;
}

// The mount model: from the counts as the box sent them, through the
// mount's axes, into the fixed frame, and on an equatorial mount turned
// forward by the drift.
void CorrectByMount(const PluginState& state, const EncoderRecord& record, double drift,
                    double& first, double& second) {
  const Settings& s = state.settings;
  const bool alt_azimuth = s.MountType == kAltAzimuth;
  MountModelPosition(state.mount, alt_azimuth ? s.HorizonAz : s.RefRA,
                     alt_azimuth ? s.HorizonAlt : s.RefDec, record.count1 * state.RadPerCountRA,
                     record.count2 * state.RadPerCountDec, first, second);
  first += drift;
}

}  // namespace

void CorrectPosition(const EncoderRecord& record, double& first, double& second) {
  const PluginState& state = State();
  const double drift = DriftTerm(state.settings);
  double corrected1 = 0.0, corrected2 = 0.0;
  if (state.settings.PointModel == kMountModel) {
    CorrectByMount(state, record, drift, corrected1, corrected2);
  } else {
    CorrectByAxes(state, record, drift, corrected1, corrected2);
  }
  NormaliseAngles(corrected1, corrected2);
  first = corrected1;
  second = corrected2;
}

}  // namespace ctl
