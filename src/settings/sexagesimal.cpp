// Radians to and from hours or degrees, minutes and seconds.  The splitting
// truncates each field toward zero; the leading field keeps the sign and the
// other two are magnitudes.
#include <cmath>

#include "settings/settings.h"

namespace ctl {
namespace {

constexpr double kHoursPerHalfTurn = 12.0;
constexpr double kDegreesPerHalfTurn = 180.0;

// A truncated field as a 16-bit value.  Angles far outside a turn (or not a
// number at all) are held at the ends of the range instead of overflowing.
std::int16_t Field(double truncated) {
  if (std::isnan(truncated)) return 0;
  if (truncated > INT16_MAX) return INT16_MAX;
  if (truncated < INT16_MIN) return INT16_MIN;
  return static_cast<std::int16_t>(truncated);
}

Sexagesimal Split(double angle, double units_per_half_turn) {
  double t = (units_per_half_turn / kPi) * angle;
  const double leading = std::trunc(t);
  t = (t - leading) * 60.0;
  const double minutes = std::trunc(t);
  t = (t - minutes) * 60.0;
  const double seconds = std::trunc(t);

  Sexagesimal result;
  result.leading = Field(leading);
  result.minutes = Field(std::fabs(minutes));
  result.seconds = Field(std::fabs(seconds));
  result.negative = angle < 0.0;
  return result;
}

double Join(std::int16_t leading, std::int16_t minutes, std::int16_t seconds,
            double units_per_half_turn) {
  const double v = leading >= 0 ? (leading + minutes / 60.0) + seconds / 3600.0
                                : (leading - minutes / 60.0) - seconds / 3600.0;
  return (kPi / units_per_half_turn) * v;
}

}  // namespace

Sexagesimal RadiansToHMS(double angle) { return Split(angle, kHoursPerHalfTurn); }
Sexagesimal RadiansToDMS(double angle) { return Split(angle, kDegreesPerHalfTurn); }

double HMSToRadians(std::int16_t hours, std::int16_t minutes, std::int16_t seconds) {
  return Join(hours, minutes, seconds, kHoursPerHalfTurn);
}
double DMSToRadians(std::int16_t degrees, std::int16_t minutes, std::int16_t seconds) {
  return Join(degrees, minutes, seconds, kDegreesPerHalfTurn);
}

}  // namespace ctl
