// A mount built as geometry for the tests: its axes turned by the errors as
// rotations about explicit axes, its counters counting the turned angles
// with a scale error and rounding to whole counts.  Nothing here uses the
// plug-in's formulas.
#pragma once

#include <cmath>

#include "state/state.h"

namespace mountgeo {

using ctl::kPi;
constexpr double kDeg = kPi / 180.0;
constexpr double kArcmin = kDeg / 60.0;
constexpr int kResolution = 8192;
constexpr double kRadPerCount = 2.0 * kPi / kResolution;

struct V {
  double x, y, z;
};
inline V Add(V a, V b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline V Mul(V a, double f) { return {a.x * f, a.y * f, a.z * f}; }
inline double Dot(V a, V b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline V Cross(V a, V b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline V Unit(V a) { return Mul(a, 1.0 / std::sqrt(Dot(a, a))); }
inline V Dir(double lon, double lat) {
  return {std::cos(lat) * std::cos(lon), std::cos(lat) * std::sin(lon), std::sin(lat)};
}
// v turned by angle about the unit axis k (Rodrigues).
inline V Rotate(V v, V k, double angle) {
  return Add(Add(Mul(v, std::cos(angle)), Mul(Cross(k, v), std::sin(angle))),
             Mul(k, Dot(k, v) * (1.0 - std::cos(angle))));
}
inline double Separation(V a, V b) {
  return std::atan2(std::sqrt(Dot(Cross(a, b), Cross(a, b))), Dot(a, b));
}

// A mount in the fixed frame (horizon, or the sky at connect turned back by
// the drift): its base tilted by `tilt` about the horizontal axis at
// longitude `tilt_toward`, its second axis off square by `nonperp`, its tube
// off square by `collimation`, its counters off scale, and its zeros where
// the telescope happened to point at connect.
struct Mount {
  const char* name;
  double tilt, tilt_toward, nonperp, collimation, scale1, scale2;
  double zero1 = 0.3, zero2 = 0.1;
  bool equatorial = false;  // which way "above 15°" is taken

  V FirstAxis() const { return Rotate({0, 0, 1}, Dir(tilt_toward, 0), tilt); }
  // The tube for the physical axis angles.
  V Tube(double axis1, double axis2) const {
    const V base_x = Rotate({1, 0, 0}, Dir(tilt_toward, 0), tilt);
    const V base_y = Rotate({0, 1, 0}, Dir(tilt_toward, 0), tilt);
    const V second = Rotate(base_y, base_x, nonperp);
    V tube = Unit(Add(Mul(base_x, std::cos(collimation)), Mul(second, std::sin(collimation))));
    tube = Rotate(tube, second, -axis2);
    return Rotate(tube, FirstAxis(), axis1);
  }
  // Whole counts of a direction (the axis angles found by Newton's method).
  void Counts(V target, double& c1, double& c2) const {
    double a1 = std::atan2(target.y, target.x), a2 = std::asin(target.z);
    for (int i = 0; i < 50; ++i) {
      const V t = Tube(a1, a2);
      const double h = 1e-7;
      const V d1 = Mul(Add(Tube(a1 + h, a2), Mul(t, -1)), 1 / h);
      const V d2 = Mul(Add(Tube(a1, a2 + h), Mul(t, -1)), 1 / h);
      const V r = Add(target, Mul(t, -1));
      const double a = Dot(d1, d1), b = Dot(d1, d2), c = Dot(d2, d2);
      const double g1 = Dot(d1, r), g2 = Dot(d2, r), det = a * c - b * b;
      a1 += (c * g1 - b * g2) / det;
      a2 += (a * g2 - b * g1) / det;
    }
    // The counter ran the shorter way round from where it stood at connect.
    c1 = std::nearbyint(std::remainder(a1 - zero1, 2 * kPi) / (kRadPerCount * (1.0 + scale1)));
    c2 = std::nearbyint((a2 - zero2) / (kRadPerCount * (1.0 + scale2)));
  }
};

// Above 15° altitude: alt-azimuth mounts in the horizon frame itself; the
// equatorial frame at latitude 50°, its longitude taken as minus the hour angle.
inline bool AboveHorizon(const Mount& m, V d) {
  if (!m.equatorial) return d.z > std::sin(15 * kDeg);
  const double lat = 50 * kDeg;
  const double hour_angle = -std::atan2(d.y, d.x), dec = std::asin(d.z);
  const double sin_alt =
      std::sin(lat) * std::sin(dec) + std::cos(lat) * std::cos(dec) * std::cos(hour_angle);
  return sin_alt > std::sin(15 * kDeg);
}

}  // namespace mountgeo
