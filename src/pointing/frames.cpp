// Conversions between the sky frame and the horizon frame, done by the host.
#include "pointing/pointing.h"

namespace ctl {

SphericalTriple EquatorialToHorizon(std::uint32_t, double, double) { return {}; }
SphericalTriple HorizonToEquatorial(std::uint32_t, double, double) { return {}; }

}  // namespace ctl
