// Radians to and from hours or degrees, minutes and seconds.
#include "settings/settings.h"

namespace ctl {

Sexagesimal RadiansToHMS(double) { return {}; }
Sexagesimal RadiansToDMS(double) { return {}; }
double HMSToRadians(std::int16_t, std::int16_t, std::int16_t) { return 0.0; }
double DMSToRadians(std::int16_t, std::int16_t, std::int16_t) { return 0.0; }

}  // namespace ctl
