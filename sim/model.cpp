// The answer formats and the telescope model.
#include <cmath>
#include <cstdio>

#include "dsc_sim.h"

namespace dscsim {

std::string FormatCounts(std::int32_t first, std::int32_t second, bool with_signs) {
  auto field = [with_signs](std::int32_t count) {
    if (count > kMaxCount) count = kMaxCount;
    if (count < -kMaxCount) count = -kMaxCount;
    char text[8];
    const char sign = with_signs ? (count < 0 ? '-' : '+') : ' ';
    std::snprintf(text, sizeof text, "%c%05d", sign, count < 0 ? -count : count);
    return std::string(text);
  };
  return field(first) + '\t' + field(second) + '\r';
}

std::string FormatStatus(int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%03d\r", value);
  return std::string(text).substr(0, kStatusAnswerLength);
}

bool IsFlowControlByte(unsigned char c) { return c == kXon || c == kXoff; }

std::int32_t CountsForAngle(double angle, const AxisModel& axis) {
  if (axis.resolution == 0) return 0;
  const double turns = (angle + axis.zero_offset) * (1.0 + axis.scale_error) / astro::kTwoPi;
  const long long n = axis.resolution < 0 ? -static_cast<long long>(axis.resolution)
                                          : static_cast<long long>(axis.resolution);
  long long counts = std::llround(turns * axis.resolution);
  // Whole turns of the encoder read the same: keep within (-n/2, n/2].
  counts %= n;
  if (counts < 0) counts += n;
  if (2 * counts > n) counts -= n;
  if (counts > kMaxCount) counts = kMaxCount;
  if (counts < -kMaxCount) counts = -kMaxCount;
  return static_cast<std::int32_t>(counts);
}

AxisAngles TrueAxisAngles(const SkyModel& model, double ra, double dec, double julian_date) {
  if (model.mount == Mount::kEquatorial) {
    const double ref_hour_angle =
        astro::LocalSiderealTime(model.connect_julian_date, model.site.longitude) - model.ref_ra;
    const double hour_angle = astro::LocalSiderealTime(julian_date, model.site.longitude) - ra;
    return {astro::WrapPi(ref_hour_angle - hour_angle), dec - model.ref_dec};
  }
  const astro::Horizontal target =
      astro::Sky(julian_date, model.site, model.atmosphere).Observed(astro::Equatorial{ra, dec});
  const astro::Horizontal reference =
      astro::Sky(model.connect_julian_date, model.site, model.atmosphere)
          .Observed(astro::Equatorial{model.ref_ra, model.ref_dec});
  return {astro::WrapPi(target.azimuth - reference.azimuth), target.altitude - reference.altitude};
}

astro::Equatorial ApparentPlace(const astro::Star& star, double julian_date) {
  return astro::Sky(julian_date, astro::Site{}, astro::kNoRefraction).Apparent(star);
}

std::pair<std::int32_t, std::int32_t> CountsFor(const SkyModel& model, double ra, double dec,
                                                double julian_date) {
  const AxisAngles angles = TrueAxisAngles(model, ra, dec, julian_date);
  return {CountsForAngle(angles.first, model.axis1), CountsForAngle(angles.second, model.axis2)};
}

}  // namespace dscsim
