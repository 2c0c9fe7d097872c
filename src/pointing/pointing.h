// Pointing model: encoder counts to sky angles, frame conversions through
// the host, and the corrected current position.
#pragma once

#include <cstdint>

#include "state/state.h"

namespace ctl {

struct SphericalTriple {
  double longitude = 0.0;
  double latitude = 0.0;
  double radius = 0.0;
};

void ConvertEncoderCounts(EncoderRecord& record, const Settings& settings);
void NormaliseAngles(double& first, double& second);

SphericalTriple EquatorialToHorizon(std::uint32_t host_context, double ra, double dec);
SphericalTriple HorizonToEquatorial(std::uint32_t host_context, double azimuth, double altitude);

// The corrected position.  Returns false when the query sent or read nothing
// (the out-parameters are then left as they were).
bool GetTelescopePosition(double& first, double& second);

}  // namespace ctl
