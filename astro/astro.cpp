// Positional astronomy on ERFA: what ERFA provides is taken from it; the
// azimuth forms, the frame codes and the catalogue are the hosts' own.
#include "astro.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace astro {
namespace {

// ERFA takes dates in two parts; the modified Julian date keeps the
// fraction of the day precise.
constexpr double kMjdZero = 2400000.5;
constexpr double kWavelengthMicrons = 0.55;  // visible light, for refraction

// Terrestrial Time of a UTC Julian date, in two parts.
void TerrestrialTime(double julian_date, double& tt1, double& tt2) {
  double tai1 = kMjdZero, tai2 = julian_date - kMjdZero;
  if (eraUtctai(kMjdZero, julian_date - kMjdZero, &tai1, &tai2) < 0) {
    // Before the table of leap seconds: TAI - UTC as in 1972.
    tai1 = kMjdZero;
    tai2 = julian_date - kMjdZero + 10.0 / 86400.0;
  }
  eraTaitt(tai1, tai2, &tt1, &tt2);
}

}  // namespace

// Kept rather than eraAnp and eraAnpm: those return 2*pi for a tiny negative
// angle (fmod's result plus a turn rounds up), and pi folds to -pi.
double WrapTwoPi(double a) {
  double r = std::fmod(a, kTwoPi);
  if (r < 0.0) r += kTwoPi;
  if (r >= kTwoPi) r -= kTwoPi;
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

bool ParseUtc(const std::string& text, double& julian_date) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, consumed = 0;
  double second = 0.0;
  char separator = 0;
  const char* s = text.c_str();
  if (std::sscanf(s, "%4d-%2d-%2d%c%2d:%2d%n", &year, &month, &day, &separator, &hour, &minute,
                  &consumed) != 6 ||
      (separator != 'T' && separator != ' ')) {
    return false;
  }
  s += consumed;
  if (*s == ':') {
    int more = 0;
    if (std::sscanf(s, ":%lf%n", &second, &more) != 1 || !(second >= 0.0 && second < 60.0)) {
      return false;
    }
    s += more;
  }
  if (*s == 'Z') ++s;
  if (*s != '\0') return false;
  double d1 = 0.0, d2 = 0.0;
  if (eraDtf2d("UTC", year, month, day, hour, minute, second, &d1, &d2) != 0) return false;
  julian_date = d1 + d2;
  return true;
}

namespace {

double SystemJulianDate() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return JulianDateFromUnix(static_cast<double>(now.tv_sec) +
                            static_cast<double>(now.tv_nsec) * 1e-9);
}

// Days to add to the system's clock: 0 unless VELASTRA_CLOCK pins a start.
// Worked out again only when the variable changes (a test may set it).
double ClockOffsetDays() {
  static std::string pinned_as;
  static double offset = 0.0;
  const char* pinned = std::getenv("VELASTRA_CLOCK");
  const std::string now_as = pinned != nullptr ? pinned : "";
  if (now_as != pinned_as) {
    pinned_as = now_as;
    double start = 0.0;
    offset = ParseUtc(now_as, start) ? start - SystemJulianDate() : 0.0;
  }
  return offset;
}

}  // namespace

double JulianDateNow() { return SystemJulianDate() + ClockOffsetDays(); }

bool ClockSettingValid(std::string* why) {
  const char* pinned = std::getenv("VELASTRA_CLOCK");
  double start = 0.0;
  if (pinned == nullptr || *pinned == '\0' || ParseUtc(pinned, start)) return true;
  if (why != nullptr) {
    *why = std::string("VELASTRA_CLOCK=") + pinned +
           " is not a UTC time such as 2026-12-09T05:05:00Z.";
  }
  return false;
}

double GreenwichSiderealTime(double julian_date) {
  double tt1 = 0.0, tt2 = 0.0;
  TerrestrialTime(julian_date, tt1, tt2);
  return eraGst06a(kMjdZero, julian_date - kMjdZero, tt1, tt2);  // UT1 = UTC
}

double LocalSiderealTime(double julian_date, double longitude) {
  return WrapTwoPi(GreenwichSiderealTime(julian_date) + longitude);
}

double SiderealDayNumber(double julian_date) {
  // The Earth rotation angle counted in whole turns (IAU 2000: 0.7790572732640
  // turns at J2000.0, 1.00273781191135448 turns a day), less the equation of
  // the origins, which takes it from the celestial intermediate origin to the
  // equinox: its fraction is the apparent sidereal time.
  const double days = julian_date - kJ2000;
  const double rotation = days + (0.7790572732640 + 0.00273781191135448 * days);
  const double era = eraEra00(kMjdZero, julian_date - kMjdZero);
  const double gast = GreenwichSiderealTime(julian_date);
  return rotation + WrapPi(gast - era) / kTwoPi;
}

double RealWorldToMathematical(double azimuth) { return WrapTwoPi(kTwoPi - azimuth); }

double MathematicalToRealWorld(double longitude) { return WrapTwoPi(kTwoPi - longitude); }

Vector SphericalToVector(double longitude, double latitude, double radius) {
  double p[3];
  eraS2p(longitude, latitude, radius, p);
  return {p[0], p[1], p[2]};
}

Spherical VectorToSpherical(const Vector& v) {
  double p[3] = {v.x, v.y, v.z};
  double theta = 0.0, phi = 0.0, r = 0.0;
  eraP2s(p, &theta, &phi, &r);
  if (r == 0.0) return {0.0, 0.0, 0.0};
  return {WrapTwoPi(theta), phi, r};
}

double AngularSeparation(const Equatorial& a, const Equatorial& b) {
  return eraSeps(a.ra, a.dec, b.ra, b.dec);
}

Sky::Sky(double julian_date, const Site& site, const Atmosphere& atmosphere)
    : julian_date_(julian_date), site_(site) {
  double tt1 = 0.0, tt2 = 0.0;
  TerrestrialTime(julian_date, tt1, tt2);
  // TDB differs from TT by two milliseconds at most: nothing here sees it.
  eraApci13(tt1, tt2, &catalogue_, &equation_of_origins_);
  eraApio13(kMjdZero, julian_date - kMjdZero, 0.0, site.longitude, site.latitude, site.height, 0.0,
            0.0, atmosphere.pressure_hpa, atmosphere.temperature_c, atmosphere.relative_humidity,
            kWavelengthMicrons, &observed_);
  local_sidereal_time_ = WrapTwoPi(observed_.eral - equation_of_origins_);
}

Equatorial Sky::Apparent(const Star& star) const {
  double ri = 0.0, di = 0.0;
  const double pr = star.pm_ra / std::cos(star.dec);
  eraASTROM astrom = catalogue_;  // ERFA's routines take it by pointer
  eraAtciq(star.ra, star.dec, pr, star.pm_dec, star.parallax, 0.0, &astrom, &ri, &di);
  return {WrapTwoPi(ri - equation_of_origins_), di};
}

Equatorial Sky::Apparent(const Equatorial& catalogue) const {
  double ri = 0.0, di = 0.0;
  eraASTROM astrom = catalogue_;
  eraAtciqz(catalogue.ra, catalogue.dec, &astrom, &ri, &di);
  return {WrapTwoPi(ri - equation_of_origins_), di};
}

Equatorial Sky::Catalogue(const Equatorial& apparent) const {
  double rc = 0.0, dc = 0.0;
  eraASTROM astrom = catalogue_;
  eraAticq(apparent.ra + equation_of_origins_, apparent.dec, &astrom, &rc, &dc);
  return {WrapTwoPi(rc), dc};
}

Horizontal Sky::Observed(const Equatorial& apparent) const {
  double aob = 0.0, zob = 0.0, hob = 0.0, dob = 0.0, rob = 0.0;
  eraASTROM astrom = observed_;
  eraAtioq(apparent.ra + equation_of_origins_, apparent.dec, &astrom, &aob, &zob, &hob, &dob, &rob);
  return {WrapTwoPi(aob), kPi / 2.0 - zob};
}

Equatorial Sky::FromObserved(const Horizontal& observed) const {
  // ERFA's way back (eraAtoiq) undoes refraction with the forward formula
  // taken at the observed zenith distance: a few arcseconds off near the
  // horizon.  A few steps of correction make it the exact inverse of
  // Observed, so that a place converted there and back stays put.
  auto back = [&](const Horizontal& h) {
    double ri = 0.0, di = 0.0;
    eraASTROM astrom = observed_;
    eraAtoiq("A", h.azimuth, kPi / 2.0 - h.altitude, &astrom, &ri, &di);
    return SphericalToVector(ri - equation_of_origins_, di, 1.0);
  };
  const Vector first = back(observed);
  Vector guess = first;
  for (int step = 0; step < 4; ++step) {
    const Spherical s = VectorToSpherical(guess);
    const Vector again = back(Observed(Equatorial{s.longitude, s.latitude}));
    const Vector next{guess.x + first.x - again.x, guess.y + first.y - again.y,
                      guess.z + first.z - again.z};
    const double change = std::hypot(next.x - guess.x, next.y - guess.y, next.z - guess.z);
    guess = next;
    if (change < 1e-13) break;
  }
  const Spherical s = VectorToSpherical(guess);
  return {WrapTwoPi(s.longitude), s.latitude};
}

Horizontal EquatorialToHorizontal(const Equatorial& apparent, const Site& site, double julian_date,
                                  const Atmosphere& atmosphere) {
  return Sky(julian_date, site, atmosphere).Observed(apparent);
}

Equatorial HorizontalToEquatorial(const Horizontal& observed, const Site& site, double julian_date,
                                  const Atmosphere& atmosphere) {
  return Sky(julian_date, site, atmosphere).FromObserved(observed);
}

double HourAngle(double ra, const Site& site, double julian_date) {
  return WrapPi(LocalSiderealTime(julian_date, site.longitude) - ra);
}

bool ConvertFrame(std::int32_t from_frame, std::int32_t to_frame, const Vector& v, const Site& site,
                  double julian_date, const Atmosphere& atmosphere, Vector& out) {
  const bool to_horizon = from_frame == kSkyFrame && to_frame == kHorizonFrame;
  const bool to_sky = from_frame == kHorizonFrame && to_frame == kSkyFrame;
  if (!to_horizon && !to_sky) {
    out = v;
    return false;
  }
  const Spherical s = VectorToSpherical(v);
  const Sky sky(julian_date, site, atmosphere);
  if (to_horizon) {
    const Horizontal h = sky.Observed(Equatorial{s.longitude, s.latitude});
    out = SphericalToVector(RealWorldToMathematical(h.azimuth), h.altitude, s.radius);
  } else {
    const Equatorial e =
        sky.FromObserved(Horizontal{MathematicalToRealWorld(s.longitude), s.latitude});
    out = SphericalToVector(e.ra, e.dec, s.radius);
  }
  return true;
}

}  // namespace astro
