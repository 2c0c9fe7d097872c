// The fit of the six pointing coefficients from the sighted calibration
// objects: per axis a straight line through two objects, or a least-squares
// parabola through three or more.
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

constexpr std::size_t kBoxTextSize = 1024;

// Whether both angles of points 1 to n are finite numbers.
bool AllFinite(const PointTable& points, int n) {
  for (int i = 1; i <= n; ++i) {
    if (!std::isfinite(points.x[i]) || !std::isfinite(points.y[i])) return false;
  }
  return true;
}

// Tells the user why an axis could not be fitted: points that are not
// finite numbers, or too few different encoder angles.
void ShowNoSolution(bool finite, const char* axis) {
  char buffer[kBoxTextSize];
  std::snprintf(buffer, sizeof buffer, finite ? msg::kSingularFitText : msg::kNotFiniteFitText,
                axis);
  plat::MessageBox(0, buffer, msg::kCalibrationFailedCaption,
                   plat::kMbOk | plat::kMbIconError | plat::kMbSystemModal);
}

struct AxisFit {
  double a = 0.0, b = 1.0, c = 0.0;
};

enum class FitOutcome { kFitted, kTooFewPoints, kNoSolution };

// Fits one axis with the curve that n calls for: a line for two points
// (quadratic term 0), a parabola otherwise.
FitOutcome FitAxis(const PointTable& points, int n, AxisFit& fit) {
  if (n == 2) {
    double slope = 0.0, intercept = 0.0;
    if (FitLine(points, slope, intercept) != 1) return FitOutcome::kNoSolution;
    fit = {0.0, slope, intercept};
  } else {
    double a = 0.0, b = 0.0, c = 0.0;
    // A refusal with three points or more can only mean no solution: the
    // too-few refusal has told the user itself.
    if (FitQuadratic(points, a, b, c) != 1) {
      return n < 3 ? FitOutcome::kTooFewPoints : FitOutcome::kNoSolution;
    }
    fit = {a, b, c};
  }
  return FitOutcome::kFitted;
}

// Puts one axis's points on one branch of the circle, so that the fit sees
// a continuous stretch of angles, and returns where that branch begins.
//
// The catalogue angles are first put on one turn with their encoder angles:
// every difference catalogue minus encoder is taken within half a turn of
// the differences' circular mean (the encoder's zero, wherever it lies on
// the circle), so that an object whose two angles lie either side of 0/2π,
// such as Polaris in azimuth, keeps its place among the others, and with a
// zero half a turn off, objects a little under and a little over half a turn
// from their encoder angles stay side by side.  Then the encoder angles: the
// circle is cut in the middle of the widest gap between them.  When that gap
// is the one across 0/2π, no angle moves (the points are fitted as they
// stand, and the cut lies in that gap); otherwise the points below the cut
// move up a turn, catalogue angle with encoder angle, so that objects either
// side of 0/2π (near 0h, or near north) sit side by side.
// Every catalogue angle taken within half a turn of its encoder angle plus
// the differences' circular mean; false when an angle is not finite.
bool UnwrapAboutEncoder(PointTable& points, int n) {
  if (!AllFinite(points, n)) return false;  // refused by the fit
  double sine = 0.0, cosine = 0.0;
  for (int i = 1; i <= n; ++i) {
    sine += std::sin(points.y[i] - points.x[i]);
    cosine += std::cos(points.y[i] - points.x[i]);
  }
  const double zero = std::atan2(sine, cosine);
  for (int i = 1; i <= n; ++i) {
    const double turns = std::nearbyint((points.y[i] - points.x[i] - zero) / kTwoPi);
    if (turns != 0.0) points.y[i] -= kTwoPi * turns;
  }
  return true;
}

double PutOnOneBranch(PointTable& points, int n) {
  // Not finite, or fewer than two points: refused by the fit, no gap to cut.
  if (!UnwrapAboutEncoder(points, n) || n < 2) return 0.0;
  int order[kCalibrationCapacity + 1] = {};
  for (int i = 1; i <= n; ++i) order[i - 1] = i;
  auto by_angle = [&](int a, int b) { return points.x[a] < points.x[b]; };
  std::sort(order, order + n, by_angle);
  if (points.x[order[n - 1]] - points.x[order[0]] > kTwoPi) {
    // More than a turn apart (drift terms taken off): one turn is enough.
    for (int i = 1; i <= n; ++i) {
      const double turns = std::floor(points.x[i] / kTwoPi);
      points.x[i] -= turns * kTwoPi;
      points.y[i] -= turns * kTwoPi;
    }
    std::sort(order, order + n, by_angle);
  }
  const double low = points.x[order[0]];
  const double high = points.x[order[n - 1]];
  double widest = 0.0;
  double cut = 0.0;
  for (int k = 0; k + 1 < n; ++k) {
    const double gap = points.x[order[k + 1]] - points.x[order[k]];
    if (gap > widest) {
      widest = gap;
      cut = points.x[order[k]] + gap / 2.0;
    }
  }
  const double across = low + kTwoPi - high;
  if (across >= widest) return high + across / 2.0 - kTwoPi;
  for (int i = 1; i <= n; ++i) {
    if (points.x[i] < cut) {
      points.x[i] += kTwoPi;
      points.y[i] += kTwoPi;
    }
  }
  return cut;
}

}  // namespace

namespace {

// The fits work on centred, scaled encoder angles z = (x - mean) / h, h being
// the power of two at or above the largest |x - mean|: the sums then hold
// numbers near 1 instead of near 2π, so that points clustered anywhere on the
// circle keep their precision, and the division by h is exact.  The
// coefficients are transformed back to x at the end.  Points with small whole
// or halved coordinates (the usual worked examples) go through exactly.
struct Centred {
  int n = 0;
  double mean = 0.0;
  double h = 1.0;
  double z[kCalibrationCapacity + 1] = {};
  double y[kCalibrationCapacity + 1] = {};
};

// Encoder angles that differ by less than this (relative to their size) are
// one angle: what tells them apart is rounding, not the sky.
constexpr double kMinSpread = 1e-9;
// A parabola whose normal equations have a determinant below this fraction
// of S2³ (both scale alike) would turn rounding into curvature: the encoder
// angles are too few or too close together for three coefficients.  Points
// that share encoder angles give cancellation noise instead of an exact zero,
// some 10⁻¹⁴ of S2³ at most for centred angles, far below the bound.
constexpr double kMinQuadraticDeterminant = 1e-5;

// Centres the points; false when they are not finite numbers or all share one
// encoder angle.
bool Centre(const PointTable& points, double n_value, Centred& c) {
  // The capacity first: std::min then gives it for a count that is no number.
  const int n = static_cast<int>(std::min(static_cast<double>(kCalibrationCapacity), n_value));
  c.n = n;
  if (!AllFinite(points, n)) return false;
  double sum = 0.0;
  for (int i = 1; i <= n; ++i) sum += points.x[i];
  c.mean = sum / n;
  double largest = 0.0;
  for (int i = 1; i <= n; ++i) largest = std::fmax(largest, std::fabs(points.x[i] - c.mean));
  if (!(largest > kMinSpread * (1.0 + std::fabs(c.mean)))) return false;
  int exponent = 0;
  std::frexp(largest, &exponent);
  c.h = std::ldexp(1.0, exponent);
  for (int i = 1; i <= n; ++i) {
    c.z[i] = (points.x[i] - c.mean) / c.h;
    c.y[i] = points.y[i];
  }
  return true;
}

}  // namespace

int FitLine(const PointTable& points, double& slope, double& intercept) {
  const double n = points.x[0];
  if (!(n >= 2.0)) {
    plat::MessageBox(plat::GetFocus(), msg::kTooFewForLineText, msg::kMissingDataCaption,
                     plat::kMbOk | plat::kMbIconError | plat::kMbSystemModal);
    return 0;
  }
  Centred c;
  if (!Centre(points, n, c)) return 0;
  const double count = c.n;
  double sz = 0.0, szz = 0.0, sy = 0.0, szy = 0.0;
  for (int i = 1; i <= c.n; ++i) {
    sz += c.z[i];
    szz += c.z[i] * c.z[i];
    sy += c.y[i];
    szy += c.z[i] * c.y[i];
  }
  // The centred angles sum to (almost) 0 and the largest lies beyond 1/2,
  // so d is at least n/4: two different encoder angles always give a line.
  const double d = count * szz - sz * sz;
  const double slope_z = (count * szy - sz * sy) / d;
  const double intercept_z = (sy * szz - sz * szy) / d;
  // y = slope_z * (x - mean) / h + intercept_z
  const double s = slope_z / c.h;
  const double i = intercept_z - s * c.mean;
  if (!std::isfinite(s) || !std::isfinite(i)) return 0;
  slope = s;
  intercept = i;
  return 1;
}

int FitQuadratic(const PointTable& points, double& a, double& b, double& c) {
  const double n = points.x[0];
  if (!(n >= 3.0)) {
    plat::MessageBox(plat::GetFocus(), msg::kTooFewForQuadraticText, msg::kMissingDataCaption,
                     plat::kMbOk | plat::kMbIconError | plat::kMbSystemModal);
    return 0;
  }
  Centred p;
  if (!Centre(points, n, p)) return 0;
  const double count = p.n;
  double s1 = 0.0, s2 = 0.0, s3 = 0.0, s4 = 0.0, t0 = 0.0, t1 = 0.0, t2 = 0.0;
  for (int i = 1; i <= p.n; ++i) {
    const double x = p.z[i];
    const double y = p.y[i];
    const double t = x * x;
    s1 += x;
    s2 += t;
    s3 += x * t;
    s4 += t * t;
    t0 += y;
    t1 += x * y;
    t2 += t * y;
  }
  // The normal equations
  //   | s4 s3 s2 | |A|   |t2|
  //   | s3 s2 s1 | |B| = |t1|
  //   | s2 s1 n  | |C|   |t0|
  // solved by Cramer's rule, each determinant in its expanded form, every
  // squared sum taken as a square.
  const double det =
      count * s2 * s4 + 2.0 * s1 * s2 * s3 - s2 * s2 * s2 - s1 * s1 * s4 - count * (s3 * s3);
  if (!(det > kMinQuadraticDeterminant * (s2 * s2 * s2))) return 0;
  const double qa = (count * s2 * t2 + s1 * s3 * t0 + s1 * s2 * t1 - s2 * s2 * t0 - s1 * s1 * t2 -
                     count * s3 * t1) /
                    det;
  const double qb = (count * s4 * t1 + s1 * s2 * t2 + s2 * s3 * t0 - s2 * s2 * t1 - s1 * s4 * t0 -
                     count * s3 * t2) /
                    det;
  const double qc =
      (s2 * s4 * t0 + s2 * s3 * t1 + s1 * s3 * t2 - s2 * s2 * t2 - s1 * s4 * t1 - s3 * s3 * t0) /
      det;
  // y = qa z² + qb z + qc with z = (x - mean) / h.
  const double pa = qa / (p.h * p.h);
  const double pb = qb / p.h;
  const double ra = pa;
  const double rb = pb - 2.0 * pa * p.mean;
  const double rc = qc - p.mean * (pb - pa * p.mean);
  if (!std::isfinite(ra) || !std::isfinite(rb) || !std::isfinite(rc)) return 0;
  a = ra;
  b = rb;
  c = rc;
  return 1;
}

namespace {

// ---- Checks of a six-coefficient fit against the configured encoders ------
//
// The budget of a real mount: a counter's scale is off by at most 2%
// (belts and friction rollers), and a tilted base or a misaligned polar axis
// (up to 3°) shifts each sighted angle by at most that, so two objects can
// differ by twice it.  Over a sighted span w, an axis's slope therefore stays
// within 2% + 2·3°/w of 1; beyond that the encoder is not the one the
// settings describe (a wrong resolution, a wrong reference point).  A slope
// of the wrong sign over the whole span (an inverted axis) matches no
// encoder at all, and one that turns back between the objects (a parabola
// through two objects of nearly one angle) maps two encoder angles to one
// place.  And a per-axis fit leaves at most the 3° of such an error at a
// sighted object; an object farther from its fitted place was not sighted
// on the star, or the mount slipped.  Each finding is told in a warning box
// after the result.  The fit stays in force, as it always has: the checks
// judge sightings by the configured encoders, so they run only on objects
// sighted with the box's counts.
constexpr double kScaleBudget = 0.02;
constexpr double kGeometryBudget = 3.0 * kPi / 180.0;
constexpr double kResidualLimit = kGeometryBudget;
constexpr int kResidualCheckFrom = 4;
constexpr double kDegreesPerRadian = 180.0 / kPi;
constexpr double kArcminutesPerRadian = 60.0 * kDegreesPerRadian;

struct AxisCheck {
  bool backwards = false;   // the wrong sign at both ends of the span
  bool turns_back = false;  // at one end
  bool slope_far = false;
  double slope_low = 1.0, slope_high = 1.0;  // at the span's two ends
  double mean_slope = 1.0, allowed = 0.0;
  double low = 0.0, high = 0.0;  // the sighted span
};

double Evaluate(const AxisFit& f, double x) { return (f.a * x) * x + f.b * x + f.c; }

AxisCheck CheckAxis(const PointTable& points, int n, const AxisFit& fit) {
  AxisCheck check;
  check.low = check.high = points.x[1];
  for (int i = 2; i <= n; ++i) {
    check.low = std::fmin(check.low, points.x[i]);
    check.high = std::fmax(check.high, points.x[i]);
  }
  const double span = check.high - check.low;
  if (!(span > 0.0)) return check;
  check.slope_low = 2.0 * fit.a * check.low + fit.b;
  check.slope_high = 2.0 * fit.a * check.high + fit.b;
  check.mean_slope = (Evaluate(fit, check.high) - Evaluate(fit, check.low)) / span;
  check.allowed = kScaleBudget + 2.0 * kGeometryBudget / span;
  check.backwards = check.slope_low <= 0.0 && check.slope_high <= 0.0;
  check.turns_back = !check.backwards && (check.slope_low <= 0.0 || check.slope_high <= 0.0);
  check.slope_far = std::fabs(check.mean_slope - 1.0) > check.allowed;
  return check;
}

// Appends a paragraph to the warning text, cut at the buffer's end.
void AppendWarning(char* text, std::size_t size, const char* line) {
  std::size_t used = std::strlen(text);
  const auto append = [&](const char* part) {
    const std::size_t room = size - used - 1;
    const std::size_t length = std::min(std::strlen(part), room);
    std::memcpy(text + used, part, length);
    used += length;
    text[used] = '\0';
  };
  if (used > 0) append("\n\n");
  append(line);
}

// The largest great-circle miss of a sighted object on one axis (the first
// axis's miss shrinks by the cosine of the object's second angle).
void AppendResidualWarning(const PointTable& points, int n, const AxisFit& fit,
                           const CalibrationList& list, bool first_axis, const char* axis,
                           char* text, std::size_t size) {
  int worst = 0;
  double largest = 0.0;
  for (int i = 1; i <= n; ++i) {
    double miss = std::fabs(Evaluate(fit, points.x[i]) - points.y[i]);
    if (first_axis) miss *= std::fabs(std::cos(list.entries[i - 1].catalogue2));
    if (miss > largest) largest = miss, worst = i;
  }
  if (worst == 0 || !(largest > kResidualLimit)) return;
  char line[kBoxTextSize];
  std::snprintf(line, sizeof line, msg::kResidualFarText, list.entries[worst - 1].name,
                largest * kArcminutesPerRadian, axis);
  AppendWarning(text, size, line);
}

void AppendSlopeWarning(const AxisCheck& check, const char* axis, char* text, std::size_t size) {
  char line[kBoxTextSize];
  if (check.backwards) {
    std::snprintf(line, sizeof line, msg::kBackwardsFitText, axis, check.slope_low,
                  check.slope_high, check.low * kDegreesPerRadian, check.high * kDegreesPerRadian);
    AppendWarning(text, size, line);
  }
  if (check.turns_back) {
    std::snprintf(line, sizeof line, msg::kTurnsBackText, axis, check.slope_low, check.slope_high,
                  check.low * kDegreesPerRadian, check.high * kDegreesPerRadian);
    AppendWarning(text, size, line);
  }
  if (check.slope_far && !check.backwards) {
    std::snprintf(line, sizeof line, msg::kSlopeFarText, axis, check.mean_slope,
                  (check.high - check.low) * kDegreesPerRadian, check.allowed);
    AppendWarning(text, size, line);
  }
}

}  // namespace

void CalibrateTelescope() {
  PluginState& state = State();
  const CalibrationList& list = state.calibration;

  for (std::int32_t i = 0; i < list.count; ++i) {
    if (list.entries[i].sighted == 0) {
      char buffer[kBoxTextSize];
      // Names hold at most 255 characters, so the text fits; snprintf would
      // cut it safely in any case.
      if (std::snprintf(buffer, sizeof buffer, msg::kUnsightedText, list.entries[i].name) < 0) {
        buffer[0] = '\0';
      }
      plat::MessageBox(0, buffer, msg::kCalibrationFailedCaption,
                       plat::kMbOk | plat::kMbIconError | plat::kMbSystemModal);
      return;
    }
  }
  if (state.settings.PointModel == kMountModel) {
    CalibrateMountModel();
    return;
  }

  const bool alt_azimuth = state.settings.MountType == kAltAzimuth;
  const char* axis1 = alt_azimuth ? msg::kAxisAzimuth : msg::kAxisRightAscension;
  const char* axis2 = alt_azimuth ? msg::kAxisAltitude : msg::kAxisDeclination;
  const int n = list.count;
  PointTable points1, points2;
  points1.x[0] = points2.x[0] = static_cast<double>(n);

  // Both axes are fitted before any coefficient changes, so that a refusal
  // on the second axis leaves all six as they were.
  // On an equatorial mount the first axis is fitted with each sighting's
  // drift term taken off both angles: the encoder's error belongs to the
  // axis, which the sky turns past, so a correction fitted this way holds
  // all night.  With no drift (sightings right after connecting) the angles
  // are the recorded ones.
  //
  // When every object was sighted with the box's counts, the first axis is
  // fitted on the reference plus the angle the counter turned through, as
  // the box counted it: continuous wherever the counter wraps, so that a
  // scale error leaves no jump between objects either side of that wrap
  // (the circle cut in the widest gap between the objects would put one).
  AxisFit first, second;
  PointingBranch branch;
  const bool counted = std::all_of(list.entries, list.entries + n,
                                   [](const CalibrationEntry& e) { return e.counted != 0; });
  for (int i = 1; i <= n; ++i) {
    const CalibrationEntry& e = list.entries[i - 1];
    const double drift = alt_azimuth ? 0.0 : e.drift;
    points1.x[i] = counted ? e.ref1 + e.turned1 : drift != 0.0 ? e.encoder1 - drift : e.encoder1;
    points1.y[i] = drift != 0.0 ? e.catalogue1 - drift : e.catalogue1;
  }
  // Judged before the points move onto one branch, which a point that is no
  // number would spread to all of them.
  const bool finite1 = AllFinite(points1, n);
  if (counted) {
    UnwrapAboutEncoder(points1, n);
    branch.counted1 = 1;
  } else {
    branch.cut1 = PutOnOneBranch(points1, n);
  }
  switch (FitAxis(points1, n, first)) {
    case FitOutcome::kFitted:
      break;
    case FitOutcome::kTooFewPoints:
      return;
    case FitOutcome::kNoSolution:
      ShowNoSolution(finite1, axis1);
      return;
  }
  for (int i = 1; i <= n; ++i) {
    points2.x[i] = list.entries[i - 1].encoder2;
    points2.y[i] = list.entries[i - 1].catalogue2;
  }
  const bool finite2 = AllFinite(points2, n);
  branch.cut2 = PutOnOneBranch(points2, n);
  switch (FitAxis(points2, n, second)) {
    case FitOutcome::kFitted:
      break;
    case FitOutcome::kTooFewPoints:
      return;
    case FitOutcome::kNoSolution:
      ShowNoSolution(finite2, axis2);
      return;
  }

  // The fit is judged against the configured encoders when every object was
  // sighted with the box's counts.
  char warnings[kBoxTextSize] = {};
  if (counted) {
    const AxisCheck check1 = CheckAxis(points1, n, first);
    const AxisCheck check2 = CheckAxis(points2, n, second);
    AppendSlopeWarning(check1, axis1, warnings, sizeof warnings);
    AppendSlopeWarning(check2, axis2, warnings, sizeof warnings);
    if (n >= kResidualCheckFrom) {
      AppendResidualWarning(points1, n, first, list, true, axis1, warnings, sizeof warnings);
      AppendResidualWarning(points2, n, second, list, false, axis2, warnings, sizeof warnings);
    }
  }

  PointingCoefficients& p = state.pointing;
  p.RA = first.a;
  p.RB = first.b;
  p.RC = first.c;
  p.DA = second.a;
  p.DB = second.b;
  p.DC = second.c;
  state.branch = branch;

  char buffer[kBoxTextSize];
  std::snprintf(buffer, sizeof buffer, msg::kResultText, p.RA, p.RB, p.RC, p.DA, p.DB, p.DC);
  plat::MessageBox(0, buffer, msg::kResultCaption,
                   plat::kMbOk | plat::kMbIconInformation | plat::kMbSystemModal);
  if (warnings[0] != '\0') {
    plat::MessageBox(0, warnings, msg::kCheckCaption,
                     plat::kMbOk | plat::kMbIconWarning | plat::kMbSystemModal);
  }
}

}  // namespace ctl
