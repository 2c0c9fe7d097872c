#include "astro.h"

#include <algorithm>
#include <cmath>
#include <ctime>

namespace astro {

double WrapTwoPi(double a) {
  double r = std::fmod(a, kTwoPi);
  if (r < 0.0) r += kTwoPi;
  if (r >= kTwoPi) r -= kTwoPi;  // fmod of a tiny negative number plus 2*pi
  return r;
}

double WrapPi(double a) {
  double r = WrapTwoPi(a);
  if (r > kPi) r -= kTwoPi;
  return r;
}

double FromDms(bool negative, double degrees, double minutes, double seconds) {
  const double value = (degrees + minutes / 60.0 + seconds / 3600.0) * kDegree;
  return negative ? -value : value;
}

double FromHms(double hours, double minutes, double seconds) {
  return (hours + minutes / 60.0 + seconds / 3600.0) * kHour;
}

double JulianDateFromUnix(double unix_seconds) {
  return kUnixEpochJulianDate + unix_seconds / 86400.0;
}

double UnixFromJulianDate(double julian_date) {
  return (julian_date - kUnixEpochJulianDate) * 86400.0;
}

double JulianDateNow() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return JulianDateFromUnix(static_cast<double>(now.tv_sec) +
                            static_cast<double>(now.tv_nsec) * 1e-9);
}

double GreenwichMeanSiderealTime(double julian_date) {
  // Meeus (12.4), in degrees.  The day count is split so that the large
  // multiple of 360 degrees does not eat the precision of the fraction.
  const double d = julian_date - kJ2000;
  const double t = d / 36525.0;
  const double fraction = d - std::floor(d);
  double degrees = 280.46061837 + 0.98564736629 * d + 360.0 * fraction + 0.000387933 * t * t -
                   t * t * t / 38710000.0;
  degrees = std::fmod(degrees, 360.0);
  return WrapTwoPi(degrees * kDegree);
}

double LocalSiderealTime(double julian_date, double longitude) {
  return WrapTwoPi(GreenwichMeanSiderealTime(julian_date) + longitude);
}

double RealWorldToMathematical(double azimuth) { return WrapTwoPi(kTwoPi - azimuth); }

double MathematicalToRealWorld(double longitude) { return WrapTwoPi(kTwoPi - longitude); }

Vector SphericalToVector(double longitude, double latitude, double radius) {
  const double c = std::cos(latitude);
  return {radius * c * std::cos(longitude), radius * c * std::sin(longitude),
          radius * std::sin(latitude)};
}

Spherical VectorToSpherical(const Vector& v) {
  const double xy = std::hypot(v.x, v.y);
  const double r = std::hypot(xy, v.z);
  if (r == 0.0) return {0.0, 0.0, 0.0};
  const double longitude = xy == 0.0 ? 0.0 : WrapTwoPi(std::atan2(v.y, v.x));
  return {longitude, std::atan2(v.z, xy), r};
}

// The sky frame turned about the pole by the local sidereal time gives a
// frame with x on the meridian at the equator, y to the east point and z to
// the pole; tilting that by the latitude gives north, west, zenith.
Vector SkyToHorizon(const Vector& v, const Site& site, double julian_date) {
  const double lst = LocalSiderealTime(julian_date, site.longitude);
  const double c = std::cos(lst), s = std::sin(lst);
  const double ex = c * v.x + s * v.y;
  const double ey = -s * v.x + c * v.y;
  const double ez = v.z;
  const double sl = std::sin(site.latitude), cl = std::cos(site.latitude);
  return {-sl * ex + cl * ez, -ey, cl * ex + sl * ez};
}

Vector HorizonToSky(const Vector& v, const Site& site, double julian_date) {
  const double sl = std::sin(site.latitude), cl = std::cos(site.latitude);
  const double ex = -sl * v.x + cl * v.z;
  const double ey = -v.y;
  const double ez = cl * v.x + sl * v.z;
  const double lst = LocalSiderealTime(julian_date, site.longitude);
  const double c = std::cos(lst), s = std::sin(lst);
  return {c * ex - s * ey, s * ex + c * ey, ez};
}

bool ConvertFrame(std::int32_t from_frame, std::int32_t to_frame, const Vector& v, const Site& site,
                  double julian_date, Vector& out) {
  if (from_frame == kSkyFrame && to_frame == kHorizonFrame) {
    out = SkyToHorizon(v, site, julian_date);
    return true;
  }
  if (from_frame == kHorizonFrame && to_frame == kSkyFrame) {
    out = HorizonToSky(v, site, julian_date);
    return true;
  }
  out = v;
  return false;
}

double HourAngle(double ra, const Site& site, double julian_date) {
  return WrapPi(LocalSiderealTime(julian_date, site.longitude) - ra);
}

Horizontal EquatorialToHorizontal(const Equatorial& position, const Site& site,
                                  double julian_date) {
  const double h = HourAngle(position.ra, site, julian_date);
  const double sp = std::sin(site.latitude), cp = std::cos(site.latitude);
  const double sd = std::sin(position.dec), cd = std::cos(position.dec);
  // Meeus 13.5 gives the azimuth from the south; half a turn makes it
  // real-world (from the north).  Both terms are multiplied by cos(dec) so
  // that the poles need no special case.
  const double from_south = std::atan2(std::sin(h) * cd, std::cos(h) * sp * cd - sd * cp);
  const double altitude = std::asin(std::clamp(sp * sd + cp * cd * std::cos(h), -1.0, 1.0));
  return {WrapTwoPi(from_south + kPi), altitude};
}

Equatorial HorizontalToEquatorial(const Horizontal& position, const Site& site,
                                  double julian_date) {
  const double a = position.azimuth - kPi;  // from the south
  const double sp = std::sin(site.latitude), cp = std::cos(site.latitude);
  const double sh = std::sin(position.altitude), ch = std::cos(position.altitude);
  const double hour_angle = std::atan2(std::sin(a) * ch, std::cos(a) * sp * ch + sh * cp);
  const double dec = std::asin(std::clamp(sp * sh - cp * ch * std::cos(a), -1.0, 1.0));
  const double ra = WrapTwoPi(LocalSiderealTime(julian_date, site.longitude) - hour_angle);
  return {ra, dec};
}

double AngularSeparation(const Equatorial& a, const Equatorial& b) {
  // Vincenty's form: well conditioned for tiny and for near-antipodal angles.
  const double dra = b.ra - a.ra;
  const double s1 = std::sin(a.dec), c1 = std::cos(a.dec);
  const double s2 = std::sin(b.dec), c2 = std::cos(b.dec);
  const double num1 = c2 * std::sin(dra);
  const double num2 = c1 * s2 - s1 * c2 * std::cos(dra);
  const double den = s1 * s2 + c1 * c2 * std::cos(dra);
  return std::atan2(std::hypot(num1, num2), den);
}

}  // namespace astro
