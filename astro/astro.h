// Positional astronomy for the hosts and the simulated setting-circle box, on
// ERFA (the open implementation of the IAU's SOFA routines).
//
// Angles are radians throughout; times are Julian dates of UTC (days), and
// UT1 is taken as UTC (within 0.9 s, a quarter of an arcminute of sidereal
// time at most).
//
// Frames:
//   * catalogue place: the stars' J2000 (ICRS) positions, moved by their
//     proper motions to the date (the catalogue below);
//   * sky frame (code 6): the apparent place of the date, right ascension
//     measured from the true equinox of the date along the true equator of
//     the date.  An equatorial mount's axes stand on the pole of the date,
//     so this is the frame its setting circles read;
//   * horizon frame (code 2): the observed place, azimuth and altitude as a
//     telescope at the site sees them, with refraction by a standard
//     atmosphere unless a site's atmosphere says otherwise.
// The hour angle of an apparent place is the local apparent sidereal time
// minus its right ascension.
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

#include <erfa.h>

#include <cstdint>
#include <span>
#include <string>
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

// The air the light comes through, for refraction.  A pressure of 0 turns
// refraction off.
struct Atmosphere {
  double pressure_hpa = 1013.25;
  double temperature_c = 10.0;
  double relative_humidity = 0.5;
};
inline constexpr Atmosphere kStandardAtmosphere{};
inline constexpr Atmosphere kNoRefraction{0.0, 0.0, 0.0};

// An observing site: geodetic latitude (north positive) and longitude (east
// positive), radians; height above the sea, metres.
struct Site {
  double latitude = 0.0;
  double longitude = 0.0;
  double height = 0.0;
};

// Right ascension and declination.
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
// a reduced to [-pi, pi).
double WrapPi(double a);
// Degrees, minutes, seconds (the sign taken from `negative`) to radians.
double FromDms(bool negative, double degrees, double minutes, double seconds);
// Hours, minutes, seconds of time to radians.
double FromHms(double hours, double minutes, double seconds);

// ---- Time ----------------------------------------------------------------------

double JulianDateFromUnix(double unix_seconds);
double UnixFromJulianDate(double julian_date);
// The current time as a Julian date: the system's UTC clock, or, where the
// environment variable VELASTRA_CLOCK names a UTC time
// ("2026-12-09T05:05:00Z"), a clock that reads that time when the program
// first asks and runs on at the real rate from there.  Tests pin their sky
// with it, so that what is up does not depend on when they run.
double JulianDateNow();
// The Julian date of a UTC time written "YYYY-MM-DDTHH:MM[:SS]Z" (the "T"
// may be a space, the "Z" left out); false for anything else.
bool ParseUtc(const std::string& text, double& julian_date);
// False, with the reason, when VELASTRA_CLOCK is set but names no UTC time;
// programs refuse to start then.
bool ClockSettingValid(std::string* why);

// Greenwich apparent sidereal time (IAU 2006/2000A), radians in [0, 2*pi).
double GreenwichSiderealTime(double julian_date);
// Local apparent sidereal time at an east-positive longitude, in [0, 2*pi).
double LocalSiderealTime(double julian_date, double longitude);

// The day number a host hands the plug-in (operation 34): the Greenwich
// apparent sidereal time counted in whole turns since J2000.0, so that it
// grows by one unit per sidereal turn; its fraction is the sidereal time
// over 2*pi.  The plug-in turns an equatorial mount's right ascension one
// turn per unit of it.
double SiderealDayNumber(double julian_date);

// ---- Azimuth forms ---------------------------------------------------------------

// (2*pi - azimuth) mod 2*pi, in [0, 2*pi).  The map is its own inverse.
double RealWorldToMathematical(double azimuth);
double MathematicalToRealWorld(double longitude);

// ---- Vectors ---------------------------------------------------------------------

Vector SphericalToVector(double longitude, double latitude, double radius);
// Longitude in [0, 2*pi), latitude in [-pi/2, pi/2]; the zero vector gives zeros.
Spherical VectorToSpherical(const Vector& v);

// Great-circle angle between two positions, radians in [0, pi].
double AngularSeparation(const Equatorial& a, const Equatorial& b);

// ---- Bright stars -------------------------------------------------------------------

struct Star {
  const char* name;
  double ra;   // J2000 (ICRS), radians, at epoch J2000.0
  double dec;  // J2000, radians
  double magnitude;
  double pm_ra = 0.0;     // proper motion in right ascension times cos(dec), radians a year
  double pm_dec = 0.0;    // proper motion in declination, radians a year
  double parallax = 0.0;  // arcseconds

  Equatorial position() const { return {ra, dec}; }
};

// The built-in catalogue of bright stars, brightest first.
std::span<const Star> BrightStars();
// Case-insensitive lookup by name; nullptr when the name is not known.
const Star* FindStar(std::string_view name);
// The catalogue star closest to a catalogue (J2000) position; its distance
// goes to *separation when that is given.
const Star* NearestStar(const Equatorial& position, double* separation = nullptr);

// ---- The sky of one moment at one site ----------------------------------------------

// Everything that depends on the time alone is worked out once, so that
// many stars convert quickly.
class Sky {
 public:
  Sky(double julian_date, const Site& site, const Atmosphere& atmosphere = kStandardAtmosphere);

  double julian_date() const { return julian_date_; }
  const Site& site() const { return site_; }
  // Local apparent sidereal time.
  double LocalSiderealTime() const { return local_sidereal_time_; }

  // Catalogue place (with proper motion and parallax) to apparent place.
  Equatorial Apparent(const Star& star) const;
  Equatorial Apparent(const Equatorial& catalogue) const;
  // Apparent place back to the catalogue frame (for display and naming).
  Equatorial Catalogue(const Equatorial& apparent) const;

  // Apparent place to observed place and back.
  Horizontal Observed(const Equatorial& apparent) const;
  Equatorial FromObserved(const Horizontal& observed) const;

  // A star's observed place.
  Horizontal Observed(const Star& star) const { return Observed(Apparent(star)); }

 private:
  double julian_date_;
  Site site_;
  double local_sidereal_time_ = 0.0;
  double equation_of_origins_ = 0.0;
  eraASTROM catalogue_{};  // catalogue to intermediate place (geocentric)
  eraASTROM observed_{};   // intermediate to observed place (the site)
};

// One-off conversions (a Sky each time).
Horizontal EquatorialToHorizontal(const Equatorial& apparent, const Site& site, double julian_date,
                                  const Atmosphere& atmosphere = kStandardAtmosphere);
Equatorial HorizontalToEquatorial(const Horizontal& observed, const Site& site, double julian_date,
                                  const Atmosphere& atmosphere = kStandardAtmosphere);
// Hour angle of an apparent place (local apparent sidereal time minus right
// ascension), in [-pi, pi).
double HourAngle(double ra, const Site& site, double julian_date);

// Converts a vector between frame codes 2 and 6 (the horizon frame with the
// mathematical longitude).  The radius is kept.  Returns false, and leaves
// `out` equal to `v`, for any other pair (the same frame twice included).
bool ConvertFrame(std::int32_t from_frame, std::int32_t to_frame, const Vector& v, const Site& site,
                  double julian_date, const Atmosphere& atmosphere, Vector& out);

}  // namespace astro
