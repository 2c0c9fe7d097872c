// Positional astronomy for the hosts and the simulated setting-circle box.
//
// Angles are radians throughout; times are Julian dates (UT, days).
//
// Choice of frames: there is no precession, nutation, aberration or
// refraction here.  The sky frame is the catalogue's J2000 frame, and a
// horizon position is computed from it with the mean sidereal time alone.
// For a telescope on setting circles (a few arcminutes of accuracy) and for
// tests that need only self-consistent numbers this is enough; it is not an
// ephemeris.
//
// Azimuth comes in two forms:
//   * the real-world azimuth A, measured from north through east;
//   * the host's "mathematical" longitude L = (2*pi - A) mod 2*pi, the
//     longitude in a right-handed horizon frame with x to the north, y to the
//     west and z to the zenith.
// The sky frame has x to the equinox, y to right ascension 90 degrees and z to
// the north celestial pole.  A direction (longitude lon, latitude lat, radius
// r) in either frame is the vector
//   x = r cos(lat) cos(lon), y = r cos(lat) sin(lon), z = r sin(lat).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace astro {

inline constexpr double kPi = 3.141592653589793;
inline constexpr double kTwoPi = 2.0 * kPi;
inline constexpr double kDegree = kPi / 180.0;
inline constexpr double kHour = kPi / 12.0;  // one hour of right ascension
inline constexpr double kArcminute = kDegree / 60.0;
inline constexpr double kArcsecond = kDegree / 3600.0;

// Julian date of the Unix epoch, 1970-01-01 00:00 UTC, and of J2000.0.
inline constexpr double kUnixEpochJulianDate = 2440587.5;
inline constexpr double kJ2000 = 2451545.0;

// An observing site: geodetic latitude (north positive) and longitude (east
// positive), radians.
struct Site {
  double latitude = 0.0;
  double longitude = 0.0;
};

// Right ascension and declination in the sky frame.
struct Equatorial {
  double ra = 0.0;
  double dec = 0.0;
};

// Real-world azimuth (north through east) and altitude.
struct Horizontal {
  double azimuth = 0.0;
  double altitude = 0.0;
};

struct Vector {
  double x = 0.0, y = 0.0, z = 0.0;
};

// Longitude, latitude and radius of a vector.
struct Spherical {
  double longitude = 0.0;
  double latitude = 0.0;
  double radius = 0.0;
};

// Frame codes, as the host's coordinate conversion names them.
enum Frame : std::int32_t {
  kHorizonFrame = 2,
  kSkyFrame = 6,
};

// ---- Angles ------------------------------------------------------------------

// a reduced to [0, 2*pi).
double WrapTwoPi(double a);
// a reduced to (-pi, pi].
double WrapPi(double a);
// Degrees, minutes, seconds (the sign taken from `negative`) to radians.
double FromDms(bool negative, double degrees, double minutes, double seconds);
// Hours, minutes, seconds of time to radians.
double FromHms(double hours, double minutes, double seconds);

// ---- Time ----------------------------------------------------------------------

double JulianDateFromUnix(double unix_seconds);
double UnixFromJulianDate(double julian_date);
// The current real time (the system's UTC clock) as a Julian date.
double JulianDateNow();

// Greenwich mean sidereal time (IAU 1982, Meeus 12.4), radians in [0, 2*pi).
double GreenwichMeanSiderealTime(double julian_date);
// Local mean sidereal time at an east-positive longitude, radians in [0, 2*pi).
double LocalSiderealTime(double julian_date, double longitude);

// ---- Azimuth forms ---------------------------------------------------------------

// (2*pi - azimuth) mod 2*pi, in [0, 2*pi).  The map is its own inverse.
double RealWorldToMathematical(double azimuth);
double MathematicalToRealWorld(double longitude);

// ---- Vectors and frames ------------------------------------------------------------

Vector SphericalToVector(double longitude, double latitude, double radius);
// Longitude in [0, 2*pi), latitude in [-pi/2, pi/2]; the zero vector gives zeros.
Spherical VectorToSpherical(const Vector& v);

// Rotations between the sky frame and the horizon frame of a site at a time.
Vector SkyToHorizon(const Vector& v, const Site& site, double julian_date);
Vector HorizonToSky(const Vector& v, const Site& site, double julian_date);
// Converts between frame codes 2 and 6.  Returns false, and leaves `out`
// equal to `v`, for any other pair (the same frame twice included).
bool ConvertFrame(std::int32_t from_frame, std::int32_t to_frame, const Vector& v, const Site& site,
                  double julian_date, Vector& out);

// ---- Equatorial and horizon coordinates --------------------------------------------

// Right ascension and declination to real-world azimuth (in [0, 2*pi)) and
// altitude, by the spherical-triangle formulas (Meeus 13.5, 13.6).
Horizontal EquatorialToHorizontal(const Equatorial& position, const Site& site, double julian_date);
// The inverse; right ascension in [0, 2*pi).
Equatorial HorizontalToEquatorial(const Horizontal& position, const Site& site, double julian_date);
// Hour angle (local sidereal time minus right ascension), in (-pi, pi].
double HourAngle(double ra, const Site& site, double julian_date);

// Great-circle angle between two sky positions, radians in [0, pi].
double AngularSeparation(const Equatorial& a, const Equatorial& b);

// ---- Bright stars -------------------------------------------------------------------

struct Star {
  const char* name;
  double ra;   // J2000, radians
  double dec;  // J2000, radians
  double magnitude;

  Equatorial position() const { return {ra, dec}; }
};

// The built-in catalogue of bright stars, brightest first.
std::span<const Star> BrightStars();
// Case-insensitive lookup by name; nullptr when the name is not known.
const Star* FindStar(std::string_view name);
// The catalogue star closest to a position; its distance goes to
// *separation when that is given.
const Star* NearestStar(const Equatorial& position, double* separation = nullptr);

}  // namespace astro
