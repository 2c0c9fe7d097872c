// The guided session with a real box: the host tells the person where to
// point the telescope, step by step, from the reference point to a checked
// calibration.  Also the demonstration with a real box (--demo --port).
#pragma once

#include <cmath>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "astro.h"

namespace host {

class App;

// The two angles the plug-in fits, one quadratic each: right ascension and
// declination on an equatorial mount, real-world azimuth and altitude on an
// alt-azimuth one.
struct AxisPair {
  double first = 0.0;
  double second = 0.0;
};

// What the plug-in fits for a sky position at a time.
AxisPair AxesOf(const astro::Equatorial& position, bool alt_azimuth, const astro::Site& site,
                double julian_date);

// Up to `count` bright stars above the horizon, well spread, away from the
// counter's seam (half a turn from the reference point's first axis, where
// the box's counts wrap), none of them in `exclude`.  Stars either side of
// 0h (or of north) are fine: the calibration fits across that wrap.
std::vector<const astro::Star*> ChooseCalibrationStars(
    const astro::Site& site, double julian_date, bool alt_azimuth, double reference_first,
    std::size_t count, std::span<const astro::Star* const> exclude = {});

// The span of axis angles a set of stars covers, the first axis measured
// from the counter's seam (see ChooseCalibrationStars).
struct Span {
  AxisPair low{HUGE_VAL, HUGE_VAL};
  AxisPair high{-HUGE_VAL, -HUGE_VAL};
};
Span SpanOf(std::span<const astro::Star* const> stars, const astro::Site& site, double julian_date,
            bool alt_azimuth, double reference_first);

// The share of the sky above 15 degrees whose axis angles lie outside the
// span the stars cover, where a fit through them extrapolates; 1 for fewer
// than two stars.
double SkyOutsideSpan(std::span<const astro::Star* const> stars, const astro::Site& site,
                      double julian_date, bool alt_azimuth, double reference_first);

// The guided session: point at the reference point and connect (unless
// connected), choose `star_count` stars, sight each, calibrate, show each
// star's residual and the error at a check star.  False when it stopped
// early.
// With `mount_model` set, the plug-in's pointing model is first switched to
// the mount model (true) or the six coefficients (false) through its dialog.
bool RunGuidedSession(App& app, std::size_t star_count,
                      std::optional<bool> mount_model = std::nullopt);
// Whether the profile names the mount model (PointModel MOUNT) for the
// plug-in to fit, rather than the six coefficients (AXES, the default).
bool MountModelInForce();
// Switches the plug-in's pointing model through its configuration dialog
// (its "Mount model" check box, then OK); true when it is in force after.
bool SetPointModel(App& app, bool mount_model);
// The error at a star the person points the telescope at.
void CheckStar(App& app, const astro::Star& star);
// The demonstration with the real box of --port; the exit code.
int RunRealBoxDemo(App& app);

}  // namespace host
