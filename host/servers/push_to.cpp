#include "push_to.h"

#include <cmath>
#include <cstdio>

namespace host {

PushTo AltAzimuthMoves(const astro::Horizontal& now, const astro::Horizontal& target) {
  const double az = astro::WrapPi(target.azimuth - now.azimuth);
  const double alt = target.altitude - now.altitude;
  const double separation =
      astro::AngularSeparation({now.azimuth, now.altitude}, {target.azimuth, target.altitude});
  return {{"Az", az >= 0 ? "right" : "left", std::fabs(az)},
          {"Alt", alt >= 0 ? "up" : "down", std::fabs(alt)},
          separation};
}

PushTo EquatorialMoves(const astro::Equatorial& now, const astro::Equatorial& target) {
  // The hour angle falls as the right ascension grows: a target of larger
  // right ascension lies to the east.
  const double ra = astro::WrapPi(target.ra - now.ra);
  const double dec = target.dec - now.dec;
  return {{"HA", ra >= 0 ? "east" : "west", std::fabs(ra)},
          {"Dec", dec >= 0 ? "north" : "south", std::fabs(dec)},
          astro::AngularSeparation(now, target)};
}

std::string DegreesMinutes(double angle) {
  const long minutes = std::lround(std::fabs(angle) / astro::kArcminute);
  char text[32];
  std::snprintf(text, sizeof text, "%ld\u00b0 %02ld'", minutes / 60, minutes % 60);
  return text;
}

std::string Describe(const PushTo& m) {
  return std::string(m.first.axis) + " " + DegreesMinutes(m.first.distance) + " " +
         m.first.direction + ", " + m.second.axis + " " + DegreesMinutes(m.second.distance) + " " +
         m.second.direction + " (" + DegreesMinutes(m.separation) + " to go)";
}

}  // namespace host
