// The fit of the six pointing coefficients from the sighted calibration
// objects: per axis a straight line through two objects, or a least-squares
// parabola through three or more.
#include <cfloat>
#include <cmath>
#include <cstdio>

#include "calibration/calibration.h"
#include "calibration/messages.h"
#include "platform/platform.h"

namespace ctl {
namespace {

constexpr std::size_t kBoxTextSize = 512;

// A determinant smaller than this many rounding steps of its own terms is
// cancellation noise: the points do not determine the curve.  Points that
// share encoder angles give such noise instead of an exact zero.
constexpr double kSingularTolerance = 4.0 * DBL_EPSILON;

bool IsSingular(double determinant, double scale) {
  return !std::isfinite(determinant) || !std::isfinite(scale) ||
         std::fabs(determinant) <= kSingularTolerance * scale;
}

// Tells the user why an axis could not be fitted: points that are not
// finite numbers, or too few different encoder angles.
void ShowNoSolution(const PointTable& points, int n, const char* axis) {
  bool finite = true;
  for (int i = 1; i <= n; ++i) {
    finite = finite && std::isfinite(points.x[i]) && std::isfinite(points.y[i]);
  }
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

}  // namespace

int FitLine(const PointTable& points, double& slope, double& intercept) {
  const double n = points.x[0];
  if (!(n >= 2.0)) {
    plat::MessageBox(plat::GetFocus(), msg::kTooFewForLineText, msg::kMissingDataCaption,
                     plat::kMbOk | plat::kMbIconError | plat::kMbSystemModal);
    return 0;
  }
  double sx = 0.0, sxx = 0.0, sy = 0.0, sxy = 0.0;
  for (int i = 1; i <= n && i <= kCalibrationCapacity; ++i) {
    const double x = points.x[i];
    const double y = points.y[i];
    sx += x;
    sxx += x * x;
    sy += y;
    sxy += x * y;
  }
  const double d = n * sxx - sx * sx;
  if (IsSingular(d, std::fabs(n * sxx) + std::fabs(sx * sx))) return 0;
  const double s = (n * sxy - sx * sy) / d;
  const double i = (sy * sxx - sx * sxy) / d;
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
  double s1 = 0.0, s2 = 0.0, s3 = 0.0, s4 = 0.0, t0 = 0.0, t1 = 0.0, t2 = 0.0;
  for (int i = 1; i <= n && i <= kCalibrationCapacity; ++i) {
    const double x = points.x[i];
    const double y = points.y[i];
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
  // solved by Cramer's rule, each determinant in its expanded form.
  const double det = n * s2 * s4 + 2.0 * s1 * s2 * s3 - s2 * s2 * s2 - s1 * s1 * s4 - n * s3 * s3;
  const double scale = std::fabs(n * s2 * s4) + std::fabs(2.0 * s1 * s2 * s3) +
                       std::fabs(s2 * s2 * s2) + std::fabs(s1 * s1 * s4) + std::fabs(n * s3 * s3);
  if (IsSingular(det, scale)) return 0;
  const double qa =
      (n * s2 * t2 + s1 * s3 * t0 + s1 * s2 * t1 - s2 * s2 * t0 - s1 * s1 * t2 - n * s3 * t1) / det;
  const double qb =
      (n * s4 * t1 + s1 * s2 * t2 + s2 * s3 * t0 - s2 * s2 * t1 - s1 * s4 * t0 - n * s3 * t2) / det;
  const double qc =
      (s2 * s4 * t0 + s2 * s3 * t1 + s1 * s3 * t2 - s2 * s2 * t2 - s1 * s4 * t1 - s3 * s3 * t0) /
      det;
  if (!std::isfinite(qa) || !std::isfinite(qb) || !std::isfinite(qc)) return 0;
  a = qa;
  b = qb;
  c = qc;
  return 1;
}

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

  const bool alt_azimuth = state.settings.MountType == kAltAzimuth;
  const int n = list.count;
  PointTable points;
  points.x[0] = static_cast<double>(n);

  // Both axes are fitted before any coefficient changes, so that a refusal
  // on the second axis leaves all six as they were.
  AxisFit first, second;
  for (int i = 1; i <= n; ++i) {
    points.x[i] = list.entries[i - 1].encoder1;
    points.y[i] = list.entries[i - 1].catalogue1;
  }
  switch (FitAxis(points, n, first)) {
    case FitOutcome::kFitted:
      break;
    case FitOutcome::kTooFewPoints:
      return;
    case FitOutcome::kNoSolution:
      ShowNoSolution(points, n, alt_azimuth ? msg::kAxisAzimuth : msg::kAxisRightAscension);
      return;
  }
  for (int i = 1; i <= n; ++i) {
    points.x[i] = list.entries[i - 1].encoder2;
    points.y[i] = list.entries[i - 1].catalogue2;
  }
  switch (FitAxis(points, n, second)) {
    case FitOutcome::kFitted:
      break;
    case FitOutcome::kTooFewPoints:
      return;
    case FitOutcome::kNoSolution:
      ShowNoSolution(points, n, alt_azimuth ? msg::kAxisAltitude : msg::kAxisDeclination);
      return;
  }

  PointingCoefficients& p = state.pointing;
  p.RA = first.a;
  p.RB = first.b;
  p.RC = first.c;
  p.DA = second.a;
  p.DB = second.b;
  p.DC = second.c;

  char buffer[kBoxTextSize];
  std::snprintf(buffer, sizeof buffer, msg::kResultText, p.RA, p.RB, p.RC, p.DA, p.DB, p.DC);
  plat::MessageBox(0, buffer, msg::kResultCaption,
                   plat::kMbOk | plat::kMbIconInformation | plat::kMbSystemModal);
}

}  // namespace ctl
