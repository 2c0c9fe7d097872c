// Push-to: how far, and which way, to move each axis of the mount from where
// the telescope points to a target.
#pragma once

#include <string>

#include "astro.h"

namespace host {

struct AxisMove {
  const char* axis;       // "Az", "Alt", "HA", "Dec"
  const char* direction;  // "right", "left", "up", "down", "east", "west", "north", "south"
  double distance;        // radians, not negative
};

struct PushTo {
  AxisMove first;
  AxisMove second;
  double separation;  // the great-circle distance to the target
};

// An alt-azimuth mount moves in azimuth (right: clockwise seen from above,
// north towards east) and altitude; an equatorial one in hour angle (east:
// towards the rising side, as right ascension grows) and declination.  Both
// positions are observed places (alt-azimuth) or apparent places
// (equatorial) at the same moment.
PushTo AltAzimuthMoves(const astro::Horizontal& now, const astro::Horizontal& target);
PushTo EquatorialMoves(const astro::Equatorial& now, const astro::Equatorial& target);

// "12° 05'": degrees and arcminutes, rounded to the arcminute.
std::string DegreesMinutes(double angle);
// "Az 12° 05' right, Alt 3° 10' up (12° 30' to go)".
std::string Describe(const PushTo& moves);

}  // namespace host
